// What the plug-in's tests share: a Koishi app with the mock adapter, a
// loopback portrait service, and readers for what the library shows and
// stores.
import { Context } from 'koishi'
import mock from '@koishijs/plugin-mock'
import * as fs from 'node:fs'
import * as http from 'node:http'
import type { AddressInfo } from 'node:net'
import * as os from 'node:os'
import * as path from 'node:path'
import * as iconv from 'iconv-lite'
import * as miyi from '../lib'

export const trigger = '@觅异'

// A Koishi app whose base folder is `baseDir` (a robot's instance folder),
// with the mock adapter; the plug-in is applied by the caller.
export async function mockApp(baseDir: string): Promise<Context> {
  const app = new Context()
  app.baseDir = baseDir
  // The mock bot's class is the plug-in; its typings do not say so.
  app.plugin(mock as unknown as (ctx: Context) => void)
  await app.start()
  return app
}

// Stops the app. The mock bot goes first: at the app's own stop it would
// look for the bot list after that has gone.
export async function stopApp(app: Context): Promise<void> {
  for (const bot of [...app.bots]) await bot.ctx.scope.dispose()
  await app.stop()
}

export function tempDir(): string {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'miyi-koishi-'))
}

// Everything under `folder`, as sorted relative paths.
export function filesUnder(folder: string): string[] {
  if (!fs.existsSync(folder)) return []
  const found: string[] = []
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    found.push(entry.name)
    if (entry.isDirectory()) {
      found.push(...filesUnder(path.join(folder, entry.name)).map((name) => path.join(entry.name, name)))
    }
  }
  return found.sort()
}

// A portrait service on 127.0.0.1 that answers as the real one does, in
// GBK, with the nickname `nicknames` gives for the account. It holds each
// answer for `holdMs` so that calls that overlapped would show as more than
// one open request, and records the accounts asked for and the most
// requests it ever had open at once.
export class PortraitService {
  readonly asked: string[] = []
  mostOpen = 0
  private open = 0
  private readonly server: http.Server

  constructor(
    private readonly nicknames: Record<string, string>,
    private readonly holdMs = 0,
  ) {
    this.server = http.createServer((request, response) => {
      this.mostOpen = Math.max(this.mostOpen, ++this.open)
      const account = new URL(request.url ?? '/', 'http://x').searchParams.get('uins') ?? ''
      this.asked.push(account)
      const nickname = this.nicknames[account] ?? ''
      setTimeout(() => {
        this.open--
        response.writeHead(200, { 'Content-Type': 'text/html' })
        response.end(iconv.encode(`cb({"${account}":["http://x/y.jpg",0,0,0,"${nickname}",0]})`, 'gbk'))
      }, this.holdMs)
    })
  }

  async start(): Promise<string> {
    await new Promise<void>((resolve) => this.server.listen(0, '127.0.0.1', resolve))
    return `127.0.0.1:${(this.server.address() as AddressInfo).port}`
  }

  async stop(): Promise<void> {
    this.server.closeAllConnections()
    await new Promise((resolve) => this.server.close(resolve))
  }
}

// The puzzle a reply shows: its first line, 256 characters.
export function puzzleIn(reply: string): string {
  const puzzle = reply.split('\n')[0]
  if ([...puzzle].length !== 256) throw new Error(`no puzzle in: ${reply}`)
  return puzzle
}

// The odd character of a puzzle: the one that appears only once.
export function oddCharacter(puzzle: string): string {
  const counts = new Map<string, number>()
  for (const character of puzzle) counts.set(character, (counts.get(character) ?? 0) + 1)
  const once = [...counts].filter(([, count]) => count === 1)
  if (once.length !== 1) throw new Error(`no single odd character in: ${puzzle}`)
  return once[0][0]
}

// A value of a GBK INI file, read as a member would with a text editor:
// the first "key=value" line under "[section]".
export function iniValue(file: string, section: string, key: string): string | undefined {
  let inside = false
  for (const line of iconv.decode(fs.readFileSync(file), 'gbk').split(/\r\n|\n|\r/)) {
    const text = line.trim()
    if (text.startsWith('[')) inside = text === `[${section}]`
    else if (inside && text.includes('=') && text.slice(0, text.indexOf('=')).trim() === key) {
      return text.slice(text.indexOf('=') + 1).trim()
    }
  }
  return undefined
}

export { miyi }
