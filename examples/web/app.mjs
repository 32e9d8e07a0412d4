// The page: a file read a piece at a time (File.stream()) into the four
// hashers, with progress, then the password proof of its bytes; nothing
// leaves the browser. With ?selftest=BYTES it hashes a generated file of
// that size instead and posts the results to /result (examples/web/test.mjs).
import * as quillet from '../../node/wasm/index.mjs';

const $ = (id) => document.getElementById(id);
const NAMES = { sha1: 'StandardSHA', broken_sha: 'BrokenSHA', lockdown_sha: 'LockdownSHA', md5: 'MD5' };

function token(text) {
  const value = Number(text);
  if (!Number.isInteger(value)) throw new RangeError(`not a token: ${text}`);
  return value;
}

// The five digests of `file`; `progress(done, total)` as it is read.
export async function hashFile(file, first, second, progress) {
  const hashes = quillet.getHashes().map((name) => [name, quillet.createHash(name)]);
  const reader = file.stream().getReader();
  let done = 0;
  for (;;) {
    const { value, done: end } = await reader.read();
    if (end) break;
    for (const [, hash] of hashes) hash.update(value);
    done += value.length;
    progress(done, file.size);
  }
  const results = {};
  for (const [name, hash] of hashes) {
    results[NAMES[name]] = name === 'md5' ? hash.digest('hex').toUpperCase() : hash.digest('hex');
  }
  const proof = quillet.DoubleHashPassword(new Uint8Array(await file.arrayBuffer()), first, second);
  results.DoubleHashPassword = Array.from(proof, (b) => b.toString(16).padStart(2, '0')).join('');
  return results;
}

async function show(file) {
  const progress = $('progress');
  progress.hidden = false;
  $('results').textContent = '';
  $('status').textContent = `Reading ${file.name} (${file.size} bytes)...`;
  const started = performance.now();
  try {
    const results = await hashFile(file, token($('first').value), token($('second').value),
      (done, total) => { progress.value = total ? done / total : 1; });
    for (const [name, value] of Object.entries(results)) {
      const row = $('results').insertRow();
      row.insertCell().textContent = name;
      row.insertCell().textContent = value;
    }
    $('status').textContent = `${file.name}: ${file.size} bytes in ${Math.round(performance.now() - started)} ms`;
  } catch (error) {
    $('status').textContent = `${file.name}: ${error.message}`;
  }
}

$('pick').addEventListener('change', () => { if ($('pick').files[0]) show($('pick').files[0]); });
const drop = $('drop');
drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  if (event.dataTransfer.files[0]) show(event.dataTransfer.files[0]);
});

// The test's own run: a generated file through the same path, byte i being
// (i * 131 + (i >> 8)) mod 256.
const selftest = new URLSearchParams(location.search).get('selftest');
if (selftest !== null) {
  const size = Number(selftest);
  const bytes = new Uint8Array(size);
  for (let i = 0; i < size; ++i) bytes[i] = (i * 131 + (i >> 8)) & 255;
  const file = new File([bytes], 'generated.bin');
  let updates = 0;
  const started = performance.now();
  hashFile(file, 0x12345678, 0xDEADBEEF, () => { ++updates; })
    .then((results) => ({ results, updates, ms: performance.now() - started, abc: quillet.MD5('abc') }))
    .catch((error) => ({ error: String(error) }))
    .then((report) => fetch('/result', { method: 'POST', body: JSON.stringify(report) }));
}
