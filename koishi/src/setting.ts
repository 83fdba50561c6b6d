// One setting in the library's puzzle store, written as the library writes
// its files: the store is the GBK INI file 觅异.ini in the run directory;
// a write changes only the one value, keeps every other byte, and replaces
// the file in one step (a temporary file beside it, then a rename). The
// lines are read as the library reads them: a line whose first non-blank
// character is "[" opens a section named up to its first "]" character
// (never a GBK second byte); ";" starts a comment; a key is the text before
// the first "=", blanks around names ignored; the first section and the
// first key of a name win. The library exports no call that writes a
// setting, so this is the plug-in's one file access of its own; it writes
// only the portrait service's host, and only when the value differs.
import * as fs from 'node:fs'
import * as path from 'node:path'
import * as iconv from 'iconv-lite'

export const storeFileName = '觅异.ini'

// Texts as strings of bytes, one character per byte ("latin1").
const bytes = (text: string) => iconv.encode(text, 'gbk').toString('latin1')

const blanks = /^[ \t]+|[ \t]+$/g
const trim = (text: string) => text.replace(blanks, '')

// The name in a section header line, or null when the line is no header.
function sectionName(line: string): string | null {
  const text = line.replace(/^[ \t]+/, '')
  if (!text.startsWith('[')) return null
  let end = 1
  while (end < text.length && text[end] !== ']') {
    end += text.charCodeAt(end) >= 0x80 ? 2 : 1
  }
  return trim(text.slice(1, Math.min(end, text.length)))
}

// Names match ignoring the case of one-byte letters; a byte that follows a
// first byte of 0x80 or above is a GBK second byte and is compared as is.
function sameName(a: string, b: string): boolean {
  if (a.length !== b.length) return false
  for (let at = 0; at < a.length; ) {
    if (a.charCodeAt(at) >= 0x80) {
      if (a.slice(at, at + 2) !== b.slice(at, at + 2)) return false
      at += 2
    } else {
      if (a[at].toLowerCase() !== b[at].toLowerCase()) return false
      at += 1
    }
  }
  return true
}

interface Line {
  text: string
  end: string // "\r\n", "\n", "\r", or "" for a last line without one
}

function splitLines(contents: string): Line[] {
  const lines: Line[] = []
  const pattern = /([^\r\n]*)(\r\n|\n|\r|$)/g
  for (let match; (match = pattern.exec(contents)) && match.index < contents.length; ) {
    lines.push({ text: match[1], end: match[2] })
    if (match[2] === '') break
  }
  return lines
}

// `contents` with `value` stored under `key` in `section` (all GBK, as
// bytes), or null when it is stored there already.
export function withValue(contents: string, section: string, key: string, value: string): string | null {
  const lines = splitLines(contents)
  let header = -1
  let lastKey = -1
  for (let at = 0; at < lines.length; at++) {
    const name = sectionName(lines[at].text)
    if (name !== null) {
      if (header >= 0) break // the first section of the name ended
      if (sameName(name, section)) header = lastKey = at
      continue
    }
    if (header < 0) continue
    const text = lines[at].text
    const equals = text.indexOf('=')
    if (/^[ \t]*;/.test(text) || equals < 0) continue
    lastKey = at
    if (!sameName(trim(text.slice(0, equals)), key)) continue
    let stored = trim(text.slice(equals + 1))
    if (/^(".*"|'.*')$/s.test(stored) && stored.length >= 2) stored = stored.slice(1, -1)
    if (stored === value) return null
    lines[at] = { text: text.slice(0, equals + 1) + value, end: lines[at].end }
    return lines.map((line) => line.text + line.end).join('')
  }
  const added = `${key}=${value}\r\n`
  if (header < 0) {
    const gap = contents === '' || /[\r\n]$/.test(contents) ? '' : '\r\n'
    return `${contents}${gap}[${section}]\r\n${added}`
  }
  const before = lines.slice(0, lastKey + 1)
  const last = before[before.length - 1]
  if (last.end === '') last.end = '\r\n'
  return [...before, { text: added, end: '' }, ...lines.slice(lastKey + 1)]
    .map((line) => line.text + line.end)
    .join('')
}

// Whether a text may be written as a value: nothing that would change the
// file's shape.
export function acceptableValue(value: string): boolean {
  return !/[\r\n\0]/.test(value)
}

// Stores the portrait service's host as the setting "头像服务" of section
// "觅异" in the store of `runDir`. Throws when the file cannot be read or
// replaced; the store is then as it was.
export function writePortraitService(runDir: string, host: string): void {
  if (!acceptableValue(host)) throw new Error('the portrait service host holds a line break')
  const file = path.join(runDir, storeFileName)
  let contents = ''
  let mode: number | undefined
  try {
    contents = fs.readFileSync(file).toString('latin1')
    mode = fs.statSync(file).mode & 0o7777
  } catch (error) {
    if ((error as NodeJS.ErrnoException).code !== 'ENOENT') throw error
  }
  const changed = withValue(contents, bytes('觅异'), bytes('头像服务'), bytes(host))
  if (changed === null) return
  const temporary = path.join(runDir, `.${storeFileName}.${process.pid}.tmp`)
  try {
    const handle = fs.openSync(temporary, 'wx', mode ?? 0o644)
    try {
      fs.writeSync(handle, Buffer.from(changed, 'latin1'))
      fs.fsyncSync(handle)
    } finally {
      fs.closeSync(handle)
    }
    fs.renameSync(temporary, file)
  } finally {
    fs.rmSync(temporary, { force: true })
  }
}
