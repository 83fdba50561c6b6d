// libmiyi.so in this Node.js process: loaded once, its two exports called
// through koffi, one call at a time, never on the event loop.
//
// The library keeps one reply slot and one run directory for the whole
// process and relies on its host never to overlap calls, so everything
// here is per process, not per plug-in instance: a plug-in that is disposed
// and applied again finds the library it loaded before and shares its one
// queue. The library reads its run directory (MIYI_RUN_DIR) once, when it
// is loaded; a later instance that asks for another library or another data
// folder cannot have it without a restart of the robot.
import * as koffi from 'koffi'
import * as iconv from 'iconv-lite'
import { mkdirSync, realpathSync } from 'node:fs'

// The library's texts are GBK byte strings.
export function toGbk(text: string): Buffer {
  return Buffer.concat([iconv.encode(text, 'gbk'), Buffer.alloc(1)])
}

export function fromGbk(bytes: Buffer): string {
  return iconv.decode(bytes, 'gbk')
}

type NativeFunction = ReturnType<koffi.LibraryHandle['func']>

export interface Command {
  answer: string
  kind: '1' | '2'
  group: string
  sender: string
}

export class Library {
  // The descriptor's lines, without their line breaks.
  readonly descriptor: string[]
  private readonly plugmain: NativeFunction
  private readonly strlen: NativeFunction
  private queue: Promise<unknown> = Promise.resolve()

  constructor(
    readonly path: string,
    readonly runDir: string,
  ) {
    const handle = koffi.load(path)
    const info = handle.func('void *info()')
    this.plugmain = handle.func(
      'void *plugmain(const uint8_t *answer, const uint8_t *kind, const uint8_t *group, ' +
        'const uint8_t *sender, const uint8_t *extra)',
    )
    // The C library's, which the plug-in links with: found through the
    // plug-in's own handle, whatever the C library's file is called.
    this.strlen = handle.func('size_t strlen(const void *text)')
    this.descriptor = fromGbk(this.read(info()) ?? Buffer.alloc(0)).split('\r\n')
    retained.push(handle, info)
  }

  // The trigger word: line 5 of the descriptor.
  get trigger(): string {
    return this.descriptor[4] ?? ''
  }

  // Runs `job` after every job queued before it has ended, whatever their
  // outcome; the queue goes on after a failed job.
  serial<T>(job: () => Promise<T> | T): Promise<T> {
    const result = this.queue.then(() => job())
    this.queue = result.catch(() => undefined)
    return result
  }

  // plugmain on a worker thread, in turn: the reply as UTF-8 text, or null
  // when the library gave none.
  play(command: Command): Promise<string | null> {
    return this.serial(
      () =>
        new Promise<string | null>((resolve, reject) => {
          const args = [command.answer, command.kind, command.group, command.sender, ''].map(toGbk)
          this.plugmain.async(...args, (error: unknown, reply: unknown) => {
            void args // the texts stay alive until the call has ended
            // The reply is the library's until its next call: read it now.
            if (error) reject(error)
            else {
              const bytes = this.read(reply)
              resolve(bytes === null || bytes.length === 0 ? null : fromGbk(bytes))
            }
          })
        }),
    )
  }

  // A copy of the NUL-terminated bytes at `pointer`; null for a null pointer.
  private read(pointer: unknown): Buffer | null {
    if (pointer === null || pointer === undefined) return null
    const length = Number(this.strlen(pointer))
    return Buffer.from(new Uint8Array(koffi.view(pointer, length)))
  }
}

// Handles kept for the life of the process: koffi unloads a library whose
// handles are all gone, and a reload would fix the run directory anew.
const retained: unknown[] = []

let loaded: Library | undefined

export class LibraryConflict extends Error {}

// The process's one library. The first call creates the folder `runDir`
// when it is missing and loads `path` with it as the run directory (set in
// MIYI_RUN_DIR just before, since the library reads it at load); later
// calls return that library when they name the same library and folder,
// and throw LibraryConflict otherwise.
export function loadLibrary(path: string, runDir: string): Library {
  if (loaded) {
    if (sameFile(loaded.path, path) && sameFile(loaded.runDir, runDir)) return loaded
    throw new LibraryConflict(
      `libmiyi is already loaded from ${loaded.path} with the data folder ${loaded.runDir}; ` +
        'restart the robot to use another library or data folder',
    )
  }
  mkdirSync(runDir, { recursive: true })
  // Set only while the library loads, so that programs the robot starts
  // later do not inherit it.
  const before = process.env.MIYI_RUN_DIR
  process.env.MIYI_RUN_DIR = runDir
  try {
    loaded = new Library(path, runDir)
  } finally {
    if (before === undefined) delete process.env.MIYI_RUN_DIR
    else process.env.MIYI_RUN_DIR = before
  }
  return loaded
}

function sameFile(a: string, b: string): boolean {
  try {
    return realpathSync(a) === realpathSync(b)
  } catch {
    return a === b
  }
}
