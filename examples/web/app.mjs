// The page: each picked or dropped file read once, a slice at a time
// (hashBlob), into the four hashers, with a progress bar each; then the
// password proof of its bytes; and the digest pasted beside it compared
// with the five. Nothing leaves the browser.
//
// ?selftest=BYTES (examples/web/test.mjs): generated files go through the
// same path as dropped ones, and what the page then shows is posted to
// /result. &expect=HEX is pasted as the large file's expected digest;
// &parts=N makes that file N shared parts of BYTES each (a file of N * BYTES
// bytes that the page does not hold); &first=T&second=T are the tokens.
const $ = (id) => document.getElementById(id);
$('boot').remove();

const ALGORITHMS = ['sha1', 'broken_sha', 'lockdown_sha', 'md5'];
const NAMES = ['StandardSHA', 'BrokenSHA', 'LockdownSHA', 'MD5', 'DoubleHashPassword'];
const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');

let quillet = null;
let loadError = null;
const importing = performance.now();
try {
  quillet = await import('../../node/wasm/index.mjs');
  await quillet.init();
} catch (error) {
  quillet = null;
  loadError = error;
  const banner = $('banner');
  banner.hidden = false;
  banner.textContent = 'The WebAssembly module could not be loaded: build it with ';
  const code = (text) => Object.assign(document.createElement('code'), { textContent: text });
  banner.append(code('node node/scripts/build-wasm.mjs'), ', serve the page with ',
    code('node examples/web/serve.mjs'), ` and reload. (${error.message})`);
}

function token(text) {
  const value = Number(text.trim());
  if (text.trim() === '' || !Number.isInteger(value) || value < -(2 ** 31) || value > 2 ** 32 - 1) {
    throw new RangeError(`a token is an integer from -2147483648 to 4294967295, not "${text}"`);
  }
  return value >>> 0;
}

// The five digests of `file`, as hex. The password proof is BrokenSHA over
// the two tokens (least significant byte first) and the password's
// BrokenSHA, so the file's BrokenSHA from the one read is all it needs:
// a file of any size is hashed in the memory of two slices.
export async function hashFile(file, first, second, onProgress) {
  const digests = await quillet.hashBlob(file, ALGORITHMS, { onProgress });
  const joined = new Uint8Array(28);
  const view = new DataView(joined.buffer);
  view.setUint32(0, first, true);
  view.setUint32(4, second, true);
  joined.set(digests[1], 8);
  const proof = quillet.BrokenSHA(joined);
  return [...digests.map((digest, i) => (ALGORITHMS[i] === 'md5' ? hex(digest).toUpperCase() : hex(digest))),
    hex(proof)];
}

// A pasted digest: hexadecimal digits, spaces and a "0x" ignored.
function compare(card) {
  const verdict = card.querySelector('.verdict');
  const text = card.querySelector('.expected input').value.replace(/\s+/g, '').replace(/^0x/i, '').toLowerCase();
  const cells = [...card.querySelectorAll('td:last-child')];
  for (const cell of cells) cell.classList.remove('found');
  verdict.className = 'verdict';
  verdict.textContent = '';
  if (text === '' || cells.length === 0) return;
  const found = cells.findIndex((cell) => cell.textContent.toLowerCase() === text);
  if (found >= 0) {
    cells[found].classList.add('found');
    verdict.classList.add('match');
    verdict.textContent = `matches its ${NAMES[found]}`;
  } else {
    verdict.classList.add('mismatch');
    verdict.textContent = /^([0-9a-f]{32}|[0-9a-f]{40})$/.test(text)
      ? 'matches none of its digests' : 'not a digest: 32 or 40 hexadecimal digits';
  }
}

function card(file) {
  const section = document.createElement('section');
  section.className = 'file';
  const title = document.createElement('h2');
  title.textContent = `${file.name} (${file.size.toLocaleString('en')} bytes)`;
  const bar = document.createElement('div');
  bar.className = 'bar';
  bar.setAttribute('role', 'progressbar');
  bar.setAttribute('aria-valuemin', '0');
  bar.setAttribute('aria-valuemax', '100');
  bar.append(document.createElement('div'));
  const status = document.createElement('p');
  status.className = 'status';
  const expected = document.createElement('label');
  expected.className = 'expected';
  const input = Object.assign(document.createElement('input'), { placeholder: 'paste the expected digest' });
  input.setAttribute('aria-label', `Expected digest of ${file.name}`);
  expected.append('Expected:', input, Object.assign(document.createElement('span'), { className: 'verdict' }));
  section.append(title, bar, status, document.createElement('table'), expected);
  input.addEventListener('input', () => compare(section));
  $('files').append(section);
  return section;
}

function progress(section, done, total) {
  const percent = total ? (100 * done) / total : 100;
  section.dataset.steps = Number(section.dataset.steps || 0) + 1;
  section.querySelector('.bar > div').style.width = `${percent}%`;
  section.querySelector('.bar').setAttribute('aria-valuenow', String(Math.round(percent)));
}

// Every file at once, each with its own card; resolves when all are done.
async function hashFiles(files) {
  if (!quillet) return [];
  let first;
  let second;
  try {
    first = token($('first').value);
    second = token($('second').value);
    $('status').textContent = '';
  } catch (error) {
    $('status').textContent = error.message;
    return [];
  }
  return Promise.all([...files].map(async (file) => {
    const section = card(file);
    const status = section.querySelector('.status');
    status.textContent = 'Reading...';
    const started = performance.now();
    try {
      const digests = await hashFile(file, first, second, (done, total) => progress(section, done, total));
      progress(section, 1, 1);
      const table = section.querySelector('table');
      digests.forEach((digest, i) => {
        const row = table.insertRow();
        row.insertCell().textContent = NAMES[i];
        row.insertCell().textContent = digest;
      });
      const ms = performance.now() - started;
      status.textContent = `${file.size.toLocaleString('en')} bytes in ${Math.round(ms)} ms`;
      compare(section);
    } catch (error) {
      section.classList.add('failed');
      status.textContent = `Could not be hashed: ${error.message}`;
    }
    return section;
  }));
}

$('pick').addEventListener('change', () => {
  hashFiles($('pick').files).then(() => { $('pick').value = ''; });
});
const drop = $('drop');
drop.addEventListener('dragover', (event) => { event.preventDefault(); drop.classList.add('over'); });
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  hashFiles(event.dataTransfer.files);
});

// The test's own run. Byte i of a generated file is (i * 131 + (i >> 8)) mod 256.
const query = new URLSearchParams(location.search);
if (query.has('selftest')) selftest(Number(query.get('selftest')), Number(query.get('parts') || 1));

async function selftest(size, parts) {
  const post = (report) => fetch('/result', { method: 'POST', body: JSON.stringify(report) });
  if (!quillet) {
    post({ loadError: loadError.message, banner: $('banner').hidden ? '' : $('banner').textContent });
    return;
  }
  // The time to the first digest: from the page's start (navigation) to a
  // digest, with the module's fetch and compile, and instantiate, within it.
  const firstDigest = { abc: quillet.MD5('abc'), at: performance.now() };
  firstDigest.sinceImport = firstDigest.at - importing;
  // The policy is in force: code from strings is refused.
  let evalRefused = false;
  try {
    Function('');
  } catch (error) {
    evalRefused = error instanceof EvalError;
  }
  for (const entry of performance.getEntriesByType('measure')) {
    if (entry.name.startsWith('quillet:')) firstDigest[entry.name.slice(8)] = entry.duration;
  }
  for (const id of ['first', 'second']) if (query.has(id)) $(id).value = query.get(id);
  const bytes = new Uint8Array(size);
  for (let i = 0; i < size; ++i) bytes[i] = (i * 131 + (i >> 8)) & 255;
  const big = parts > 1 ? new Blob([bytes]) : bytes;
  const files = [
    new File(Array(parts).fill(big), 'generated.bin'),
    new File(['abc'], 'abc.txt'),
    new File([], 'empty.bin'),
  ];
  // Pasted before the digests are there, as a person may.
  const started = performance.now();
  const hashing = hashFiles(files);
  const cards = [...$('files').children].slice(-files.length);
  const paste = (section, text) => {
    const input = section.querySelector('.expected input');
    input.value = text;
    input.dispatchEvent(new Event('input'));
  };
  paste(cards[0], query.get('expect') || '');
  paste(cards[1], ' 0x900150983cd24fb0d6963f7d28e17f72 ');
  paste(cards[2], 'da39a3ee5e6b4b0d3255bfef95601890afd80708'.replace('a', 'b'));
  let peakHeap = 0;
  const watch = setInterval(() => {
    peakHeap = Math.max(peakHeap, performance.memory?.usedJSHeapSize ?? 0);
  }, 50);
  await hashing;
  const ms = performance.now() - started;
  clearInterval(watch);
  post({
    firstDigest, ms, peakHeap, evalRefused,
    files: cards.map((section) => ({
      title: section.querySelector('h2').textContent,
      digests: Object.fromEntries([...section.querySelectorAll('tr')].map((row) =>
        [row.cells[0].textContent, row.cells[1].textContent])),
      progress: section.querySelector('.bar').getAttribute('aria-valuenow'),
      steps: Number(section.dataset.steps),
      verdict: section.querySelector('.verdict').textContent,
      status: section.querySelector('.status').textContent,
    })),
  });
}
