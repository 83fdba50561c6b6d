// 觅异 for Koishi: members play the game in any chat the robot serves. The
// library libmiyi.so does all of the game's work; this plug-in only carries
// messages that begin with the game's trigger word to the library's
// plugmain and its replies back to the chat, converting UTF-8 and GBK.
import { Context, h, Logger, Schema, Session } from 'koishi'
import * as fs from 'node:fs'
import * as path from 'node:path'
import { Command, Library, LibraryConflict, loadLibrary } from './library'
import { writePortraitService } from './setting'

export const name = 'miyi'

const logger = new Logger('miyi')

// The package's own folder: lib/ holds this file.
const packageRoot = path.resolve(__dirname, '..')

// The default library, found from the package's own folder: the
// repository's build (build/out/libmiyi.so beside koishi/) when the package
// is used from the repository, else the copy that `npm pack` puts into the
// package (native/libmiyi.so) for robots that install the packed file.
export const defaultLibrary =
  [path.join(packageRoot, '..', 'build', 'out', 'libmiyi.so'), path.join(packageRoot, 'native', 'libmiyi.so')].find(
    (candidate) => fs.existsSync(candidate),
  ) ?? path.join(packageRoot, '..', 'build', 'out', 'libmiyi.so')

export interface Config {
  library: string
  dataDir: string
  portraitService?: string
}

export const Config: Schema<Config> = Schema.object({
  library: Schema.string()
    .default(defaultLibrary)
    .description('libmiyi.so 的路径（相对路径从 Koishi 的根目录算起）。'),
  dataDir: Schema.string()
    .default('data/miyi')
    .description('游戏文件（觅异.ini 与积分文件）所在的文件夹，相对路径从 Koishi 的根目录算起；不存在时创建。'),
  portraitService: Schema.string().description(
    '头像服务的主机（主机名或 主机名:端口），写入觅异.ini 的“头像服务”设置；留空则不写。',
  ),
})

// What follows the trigger word when the message's text begins with it
// (blanks before it ignored); null for any other message.
export function answerAfterTrigger(text: string, trigger: string): string | null {
  const start = text.replace(/^\s+/, '')
  return trigger !== '' && start.startsWith(trigger) ? start.slice(trigger.length) : null
}

// The message's text: its text elements, joined.
function textOf(session: Session): string {
  return h
    .select(session.elements ?? [], 'text')
    .map((element) => String(element.attrs.content ?? ''))
    .join('')
}

// The command for the library: a direct chat plays the member's own puzzle,
// any other channel its guild's.
function commandFor(session: Session, answer: string): Command | null {
  const sender = session.userId
  if (!sender) return null
  if (session.isDirect) return { answer, kind: '1', group: '', sender }
  const group = session.guildId ?? session.channelId
  return group ? { answer, kind: '2', group, sender } : null
}

// Replies waiting to be sent, in the order of their calls: one chain for
// the process, as the library's queue is.
let outbox: Promise<unknown> = Promise.resolve()

export function apply(ctx: Context, config: Config) {
  const baseDir = ctx.baseDir || process.cwd()
  const dataDir = path.resolve(baseDir, config.dataDir)
  const libraryPath = path.resolve(baseDir, config.library)

  let library: Library
  try {
    library = loadLibrary(libraryPath, dataDir)
  } catch (error) {
    if (error instanceof LibraryConflict) logger.error(error.message)
    else logger.error('cannot load %s: %s', libraryPath, (error as Error).message)
    return
  }
  const trigger = library.trigger
  if (trigger === '') {
    logger.error('%s gives no trigger word', libraryPath)
    return
  }

  const portrait = config.portraitService?.trim()
  if (portrait) {
    // In the queue: never while the library has the store open.
    library
      .serial(() => writePortraitService(dataDir, portrait))
      .catch((error: Error) => logger.error('cannot write the portrait service: %s', error.message))
  }

  ctx.middleware(async (session, next) => {
    const answer = answerAfterTrigger(textOf(session), trigger)
    if (answer === null) return next()
    const command = commandFor(session, answer)
    if (!command) return next()
    // The call takes its turn in the library's queue; its reply takes its
    // turn in the outbox, so replies go out in the order of the calls (a
    // fast call never overtakes the reply of the one before it), while a
    // slow send holds up no call.
    const reply = library.play(command)
    reply.catch(() => undefined) // handled below, when its turn comes
    const delivery = outbox.then(async () => {
      const text = await reply
      // A call made before the plug-in was disposed still answers: the
      // game has counted it.
      if (text !== null) await session.send(h.text(text.replace(/\r\n/g, '\n')))
    })
    outbox = delivery.catch(() => undefined)
    try {
      await delivery
    } catch (error) {
      logger.error('no reply for a command: %s', (error as Error).message)
    }
  })
}
