// A robot runs for months while operators reload plug-ins: the library is
// loaded once per process, so a plug-in applied again with the same
// library and data folder carries on with the same game, and one that asks
// for another data folder serves nothing (and touches no file) until the
// robot restarts.
import { after, before, test } from 'node:test'
import * as assert from 'node:assert/strict'
import * as path from 'node:path'
import type { Context } from 'koishi'
import { filesUnder, miyi, mockApp, puzzleIn, stopApp, tempDir, trigger } from './helpers'

const baseDir = tempDir()
let app: Context

before(async () => {
  app = await mockApp(baseDir)
})

after(async () => {
  await stopApp(app)
})

test('disposed and applied again, the plug-in plays on; another data folder waits for a restart', async () => {
  const client = app.mock.client('10001')
  const first = app.plugin(miyi, { dataDir: 'one' } as miyi.Config)
  const puzzle = puzzleIn((await client.receive(trigger))[0])

  first.dispose()
  await client.shouldNotReply(trigger)

  const second = app.plugin(miyi, { dataDir: path.join(baseDir, 'one') } as miyi.Config)
  assert.equal(puzzleIn((await client.receive(trigger))[0]), puzzle)
  second.dispose()

  app.plugin(miyi, { dataDir: 'two' } as miyi.Config)
  await client.shouldNotReply(trigger)
  assert.deepEqual(filesUnder(baseDir), ['one', path.join('one', '觅异.ini')])
})
