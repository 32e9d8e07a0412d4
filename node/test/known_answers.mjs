// The repository's one known-answer file (tests/vectors/known_answers.txt),
// read as every other test driver reads it: DIGEST MESSAGE [FIRST SECOND]
// EXPECTED, the message "text" (escapes \xNN, \\ and \"), "text"*COUNT, or
// bytes(0..255).
import { readFileSync } from 'node:fs';

function message(field) {
  if (field === 'bytes(0..255)') return Buffer.from(Array.from({ length: 256 }, (_, i) => i));
  const match = field.match(/^"((?:[^"\\]|\\.)*)"(?:\*(\d+))?$/s);
  if (!match) throw new Error(`unreadable message ${field}`);
  const bytes = [];
  for (let i = 0; i < match[1].length; ++i) {
    const c = match[1][i];
    if (c === '\\' && match[1][i + 1] === 'x') {
      bytes.push(parseInt(match[1].slice(i + 2, i + 4), 16));
      i += 3;
    } else if (c === '\\') {
      bytes.push(match[1].charCodeAt(++i));
    } else {
      bytes.push(c.charCodeAt(0));
    }
  }
  const once = Buffer.from(bytes);
  return Buffer.concat(Array(Number(match[2] ?? 1)).fill(once));
}

export function knownAnswers() {
  const file = new URL('../../tests/vectors/known_answers.txt', import.meta.url);
  const answers = [];
  for (const line of readFileSync(file, 'utf8').split('\n')) {
    if (line === '' || line.startsWith('#')) continue;
    const match = line.match(/^(\S+) ("(?:[^"\\]|\\.)*"(?:\*\d+)?|\S+) (.*)$/);
    if (!match) throw new Error(`unreadable line ${line}`);
    const rest = match[3].split(' ');
    answers.push({
      digest: match[1],
      message: message(match[2]),
      tokens: rest.length === 3 ? [Number(rest[0]), Number(rest[1])] : [],
      expected: rest[rest.length - 1],
    });
  }
  return answers;
}
