// The JavaScript benchmark's cases, the same in Node.js and in a browser:
// each contender's one-shot digest of 32 B, 1 KiB and 1 MiB (sha1 and md5),
// and the digests of a batch of 4,096 messages of 1 KiB. Rounds are
// interleaved (every contender once, then again), and each keeps its best,
// so that a loaded machine slows them alike.
//
// A contender: { label, digest(name, bytes) -> bytes or hex text (or a
// promise of one, where `async`), many(name, list) -> array of them (where it
// has no many-message call, the benchmark loops over digest()), names (the
// digests it has; both by default) }.

export const SIZES = [32, 1024, 1 << 20];
export const BATCH = { count: 4096, size: 1024 };
export const NAMES = ['sha1', 'md5'];
const WARM_UP_MS = 250;

function pattern(size, seed) {
  const bytes = new Uint8Array(size);
  for (let i = 0; i < size; ++i) bytes[i] = (i * 131 + seed + (i >> 8)) & 255;
  return bytes;
}

const hexOf = (value) => (typeof value === 'string' ? value.toLowerCase()
  : Array.from(value, (b) => b.toString(16).padStart(2, '0')).join(''));

const now = () => performance.now();

// Nanoseconds a call, best of `rounds` interleaved, for each contender,
// after a warm-up of each (WebAssembly engines compile hot functions again,
// optimised, in the background; on a loaded machine that can take longer
// than the rounds).
async function race(calls, iterations, rounds) {
  for (const { call, async } of calls) {
    for (const start = now(); now() - start < WARM_UP_MS;) {
      if (async) await call(); else call();
    }
  }
  const best = calls.map(() => Infinity);
  for (let r = 0; r < rounds; ++r) {
    for (let c = 0; c < calls.length; ++c) {
      const { call, async } = calls[c];
      const start = now();
      if (async) {
        for (let i = 0; i < iterations; ++i) await call();
      } else {
        for (let i = 0; i < iterations; ++i) call();
      }
      best[c] = Math.min(best[c], ((now() - start) * 1e6) / iterations);
    }
  }
  return best;
}

// The rows: { name, case ('32 B', ..., 'batch'), bytes, ns: { label: ns } }.
// Every contender's digests are checked against the first's before timing.
export async function run(contenders, { rounds = 9, log = () => {} } = {}) {
  const rows = [];
  for (const name of NAMES) {
    const here = contenders.filter((c) => !c.names || c.names.includes(name));
    for (const size of SIZES) {
      const data = pattern(size, size);
      const want = hexOf(await here[0].digest(name, data));
      for (const c of here) {
        const got = hexOf(await c.digest(name, data));
        if (got !== want) throw new Error(`${c.label} ${name} of ${size} bytes: ${got}, not ${want}`);
      }
      const iterations = Math.max(4, Math.min(50000, Math.floor(4e6 / Math.max(size, 64))));
      const ns = await race(here.map((c) => ({ call: () => c.digest(name, data), async: c.async })),
        iterations, rounds);
      const label = size >= 1 << 20 ? `${size >> 20} MiB` : size >= 1024 ? `${size >> 10} KiB` : `${size} B`;
      rows.push({ name, case: label, bytes: size, ns: Object.fromEntries(here.map((c, i) => [c.label, ns[i]])) });
      log(rows[rows.length - 1]);
    }
    const list = Array.from({ length: BATCH.count }, (_, i) => pattern(BATCH.size, i));
    const calls = here.map((c) => {
      if (c.many) return { call: () => c.many(name, list), async: c.async };
      if (c.async) return { call: () => Promise.all(list.map((m) => c.digest(name, m))), async: true };
      return { call: () => list.map((m) => c.digest(name, m)) };
    });
    const first = (await calls[0].call()).map(hexOf);
    for (let i = 0; i < calls.length; ++i) {
      const got = (await calls[i].call()).map(hexOf);
      if (got.some((d, j) => d !== first[j])) throw new Error(`${here[i].label} ${name}: a batch digest differs`);
    }
    const ns = await race(calls, 1, Math.max(rounds, 7));
    rows.push({ name, case: `${BATCH.count} x ${BATCH.size >> 10} KiB`, bytes: BATCH.count * BATCH.size,
      ns: Object.fromEntries(here.map((c, i) => [c.label, ns[i]])) });
    log(rows[rows.length - 1]);
  }
  return rows;
}

// The rows as text: each contender's MB/s, and for each [ours, theirs] of
// `pairs` theirs's time over ours's (above 1: ours is faster).
export function table(rows, pairs) {
  const labels = [...new Set(rows.flatMap((row) => Object.keys(row.ns)))];
  const lines = [['digest', 'case', ...labels.map((l) => `${l} MB/s`), ...pairs.map(([o, a]) => `${o} vs ${a}`)]];
  for (const row of rows) {
    const speed = labels.map((l) => (row.ns[l] === undefined ? '-' : (row.bytes / row.ns[l] * 1e3).toFixed(0)));
    const ratios = pairs.map(([o, a]) =>
      (row.ns[o] === undefined || row.ns[a] === undefined ? '-' : `${(row.ns[a] / row.ns[o]).toFixed(2)}x`));
    lines.push([row.name, row.case, ...speed, ...ratios]);
  }
  const widths = lines[0].map((_, i) => Math.max(...lines.map((l) => String(l[i]).length)));
  return lines.map((l) => l.map((cell, i) => String(cell).padStart(widths[i])).join('  ')).join('\n');
}
