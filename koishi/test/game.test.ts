// The plug-in in a real Koishi app with the mock adapter, hosting the built
// libmiyi.so (its default path, the repository's build) with the default
// data folder. The library fixes its run directory once per process, so
// every test here shares one app and one data folder, each with accounts
// and groups of its own.
import { after, before, describe, test } from 'node:test'
import * as assert from 'node:assert/strict'
import * as fs from 'node:fs'
import * as path from 'node:path'
import type { Context } from 'koishi'
import * as iconv from 'iconv-lite'
import { loadLibrary } from '../lib/library'
import {
  filesUnder,
  iniValue,
  miyi,
  mockApp,
  oddCharacter,
  PortraitService,
  stopApp,
  puzzleIn,
  tempDir,
  trigger,
} from './helpers'

const started = '觅异开始了 回复@觅异 答案即可参加'
const storeBefore = '; the operator\'s note\r\n[觅异]\r\n头像服务 = old.invalid\r\n; kept\r\n'

describe('miyi in a Koishi app', () => {
  const baseDir = tempDir()
  const workingDir = tempDir()
  const dataDir = path.join(baseDir, 'data', 'miyi')
  const nicknames: Record<string, string> = { '10002': '阿花', '30001': '甲', '30002': '乙', '30003': '丙' }
  // Each answer held a while: calls that overlapped would meet here.
  const portrait = new PortraitService(nicknames, 100)
  const sent: { channel: string; content: string }[] = []
  const beside = path.join(path.dirname(process.execPath), '觅异.ini')
  const besideBefore = fs.existsSync(beside)
  let app: Context
  let portraitHost: string

  before(async () => {
    process.chdir(workingDir)
    // An operator's store from before, with another portrait service: the
    // plug-in's value must replace it where the library reads it.
    fs.mkdirSync(dataDir, { recursive: true })
    fs.writeFileSync(path.join(dataDir, '觅异.ini'), iconv.encode(storeBefore, 'gbk'))
    app = await mockApp(baseDir)
    app.on('before-send', (session) => {
      sent.push({ channel: session.channelId ?? '', content: session.elements?.join('') ?? '' })
    })
    portraitHost = await portrait.start()
    app.plugin(miyi, { portraitService: portraitHost } as miyi.Config)
    await new Promise((resolve) => setImmediate(resolve))
  })

  after(async () => {
    await stopApp(app)
    await portrait.stop()
  })

  test("the trigger word is line 5 of the descriptor; the library is the build's", () => {
    // The library the plug-in loaded (asked again with the same path and
    // folder, it is the same one), its descriptor read from GBK.
    const library = loadLibrary(miyi.defaultLibrary, dataDir)
    assert.deepEqual(library.descriptor.slice(0, 6), ['觅异游戏', '1.0版', '6Q8K-嘀嘀', '大家一起来觅异', '@觅异', '答案'])
    assert.equal(library.trigger, trigger)
    assert.equal(miyi.defaultLibrary, path.resolve(__dirname, '..', '..', 'build', 'out', 'libmiyi.so'))
  })

  test("a member's private game", async () => {
    const client = app.mock.client('10001')
    const [shown, ...more] = await client.receive(trigger)
    assert.deepEqual(more, [])
    const puzzle = puzzleIn(shown)
    assert.equal(shown, `${puzzle}\n${started}`)
    // Spaces before the trigger are ignored; the answer is what follows it.
    assert.deepEqual(await client.receive(`  ${trigger} 啊`), ['对不起您答错了，再接再厉吧'])
    const [won] = await client.receive(`${trigger}${oddCharacter(puzzle)}`)
    const next = puzzleIn(won)
    assert.equal(won, `${next}\n恭喜你答对了！`)
    assert.notEqual(next, puzzle)
    assert.deepEqual(await client.receive(trigger), [`${next}\n${started}`])
  })

  test('a group game with two members', async () => {
    const hua = app.mock.client('10002', '5000')
    const other = app.mock.client('10003', '5000')
    const [shown] = await hua.receive(trigger)
    const puzzle = puzzleIn(shown)
    assert.deepEqual(await other.receive(trigger), [`${puzzle}\n${started}`])

    const [wrong] = await other.receive(`${trigger} 啊`)
    const fine = Number(/^对不起您答错了，被扣了([0-9]+)RMB！再接再厉吧$/.exec(wrong)?.[1])
    assert.ok(fine >= 1 && fine <= 15, wrong)

    const [won] = await hua.receive(`${trigger} ${oddCharacter(puzzle)}`)
    const match = /^(.*)\n恭喜阿花答对了！获得([0-9]+)人民币！今天已经参加1次$/.exec(won)
    assert.ok(match, won)
    assert.notEqual(puzzleIn(won), puzzle)
    const reward = Number(match[2])
    assert.ok(reward >= 1 && reward <= 15, won)

    const points = path.join(dataDir, 'config', '签到数据5000.ini')
    assert.equal(iniValue(points, '10002', '积分'), String(reward))
    assert.equal(iniValue(points, '10002', '次数'), '1')
    assert.equal(iniValue(points, '10003', '积分'), String(-fine))
    // The portrait service the plug-in was given is the store's setting,
    // and the rest of the operator's store is as it was.
    const store = path.join(dataDir, '觅异.ini')
    assert.equal(iniValue(store, '觅异', '头像服务'), portraitHost)
    assert.ok(iconv.decode(fs.readFileSync(store), 'gbk').startsWith(
      `; the operator's note\r\n[觅异]\r\n头像服务 =${portraitHost}\r\n`))
    assert.match(iconv.decode(fs.readFileSync(store), 'gbk'), /\r\n; kept\r\n/)
    assert.deepEqual(portrait.asked, ['10002'])
  })

  test('a message without the trigger at its start gets nothing', async () => {
    const store = path.join(dataDir, '觅异.ini')
    const client = app.mock.client('10009')
    for (const text of ['觅异', `你好 ${trigger}`, '@觅 异', 'hello']) {
      await client.shouldNotReply(text)
    }
    assert.equal(iniValue(store, '10009', '答案'), undefined)
  })

  test('a burst is answered in order, one call at a time, without blocking Node', async () => {
    // Three groups with a puzzle each, solved at once by three members,
    // then one more member asks for the first group's puzzle.
    const groups = ['6001', '6002', '6003']
    const puzzles: string[] = []
    for (const group of groups) {
      puzzles.push(puzzleIn((await app.mock.client('20001', group).receive(trigger))[0]))
    }
    sent.length = 0
    portrait.asked.length = 0
    const burst = [
      ...groups.map((group, at) => app.mock.client(`3000${at + 1}`, group).receive(`${trigger}${oddCharacter(puzzles[at])}`)),
      app.mock.client('30004', '6001').receive(trigger),
    ]
    const replies = await Promise.all(burst)

    // Each winner greeted by name: the portrait service, in this very
    // process, answered while the library waited for it.
    const names = ['甲', '乙', '丙']
    names.forEach((name, at) => assert.match(replies[at][0], new RegExp(`\n恭喜${name}答对了！`)))
    // In order: the last message sees the puzzle the first one dealt.
    assert.deepEqual(replies[3], [`${puzzleIn(replies[0][0])}\n${started}`])
    assert.deepEqual(sent.map((message) => message.channel), ['6001', '6002', '6003', '6001'])
    assert.deepEqual(portrait.asked, ['30001', '30002', '30003'])
    assert.equal(portrait.mostOpen, 1)
  })

  test('the store is in the data folder and nowhere else', () => {
    const points = ['5000', '6001', '6002', '6003'].map((group) => path.join('config', `签到数据${group}.ini`))
    const game = ['config', ...points, '觅异.ini'].sort()
    assert.deepEqual(filesUnder(dataDir), game)
    // Under the robot's folder only the data folder; nothing in the working
    // folder, beside the library, or beside Node's executable.
    const data = path.join('data', 'miyi')
    assert.deepEqual(filesUnder(baseDir), ['data', data, ...game.map((name) => path.join(data, name))].sort())
    assert.deepEqual(filesUnder(workingDir), [])
    assert.deepEqual(filesUnder(path.dirname(miyi.defaultLibrary)).filter((name) => name.endsWith('.ini')), [])
    assert.equal(fs.existsSync(beside), besideBefore)
    // Set only while the library loaded.
    assert.equal(process.env.MIYI_RUN_DIR, undefined)
  })
})
