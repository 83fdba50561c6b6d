// The one store value the plug-in writes itself, edited as the library
// edits its INI files: only that value changes, every other byte stays.
import { test } from 'node:test'
import * as assert from 'node:assert/strict'
import * as fs from 'node:fs'
import * as path from 'node:path'
import * as iconv from 'iconv-lite'
import { tempDir } from './helpers'
import { withValue, writePortraitService } from '../lib/setting'

// GBK bytes, one character per byte, as the edit takes them.
const gbk = (text: string) => iconv.encode(text, 'gbk').toString('latin1')
const edit = (before: string) => {
  const after = withValue(gbk(before), gbk('觅异'), gbk('头像服务'), gbk('h:81'))
  return after === null ? null : iconv.decode(Buffer.from(after, 'latin1'), 'gbk')
}

test('the portrait service goes where the library reads and writes it', () => {
  const cases: [string, string | null][] = [
    ['', '[觅异]\r\n头像服务=h:81\r\n'],
    // After the section's last key; comments after it stay below.
    ['[觅异]\r\n配置=/x.ini\r\n;c\r\n[10001]\r\n答案=啊\r\n',
     '[觅异]\r\n配置=/x.ini\r\n头像服务=h:81\r\n;c\r\n[10001]\r\n答案=啊\r\n'],
    // A comment is no key; without keys, directly after the header.
    ['[觅异]\r\n;头像服务=x\r\n', '[觅异]\r\n头像服务=h:81\r\n;头像服务=x\r\n'],
    // The value after "=" is replaced; the key's spelling and the rest stay.
    ['[ 觅异 ]junk\r\n 头像服务 = old \r\n积分名称=积分', '[ 觅异 ]junk\r\n 头像服务 =h:81\r\n积分名称=积分'],
    // The first section of the name wins.
    ['[觅异]\r\na=1\r\n[觅异]\r\n头像服务=old\r\n', '[觅异]\r\na=1\r\n头像服务=h:81\r\n[觅异]\r\n头像服务=old\r\n'],
    // A new section at the end, after a line break when the file lacks one.
    ['[10001]\r\n头像服务=x', '[10001]\r\n头像服务=x\r\n[觅异]\r\n头像服务=h:81\r\n'],
    ['[觅异]\n配置=a\n', '[觅异]\n配置=a\n头像服务=h:81\r\n'],
    ['[觅异]', '[觅异]\r\n头像服务=h:81\r\n'],
    // Already there (blanks and one pair of quotes aside): no write at all.
    ['[觅异]\r\n头像服务 = "h:81" \r\n', null],
  ]
  for (const [before, after] of cases) assert.equal(edit(before), after, JSON.stringify(before))
})

test("a GBK character whose second byte is ']' does not end a section's name", () => {
  // 0xB0 0x5D is one character: cut there, the name would be another.
  const section = gbk('觅异') + '\xB0\x5D'
  assert.equal(withValue(`[${section}]\r\nk=1\r\n`, section, 'k', '2'), `[${section}]\r\nk=2\r\n`)
})

test('the store is replaced in one step, and a line break is refused', () => {
  const folder = tempDir()
  const store = path.join(folder, '觅异.ini')
  fs.writeFileSync(store, iconv.encode('[10001]\r\n答案=啊\r\n', 'gbk'), { mode: 0o600 })
  writePortraitService(folder, 'portrait.example:8080')
  assert.equal(iconv.decode(fs.readFileSync(store), 'gbk'), '[10001]\r\n答案=啊\r\n[觅异]\r\n头像服务=portrait.example:8080\r\n')
  assert.equal(fs.statSync(store).mode & 0o777, 0o600)
  assert.deepEqual(fs.readdirSync(folder), ['觅异.ini'])
  assert.throws(() => writePortraitService(folder, 'a\r\n[觅异]'))
  assert.match(iconv.decode(fs.readFileSync(store), 'gbk'), /头像服务=portrait.example:8080\r\n$/)
})
