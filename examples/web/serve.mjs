// A small static server for the page: the repository's files (the page
// imports ../../node/wasm/index.mjs, which fetches the module beside it),
// with the MIME types a browser wants (application/wasm for the module, so
// it is compiled as it streams in), from 127.0.0.1 only.
//
//   node node/scripts/build-wasm.mjs     # once: builds node/wasm/quillet*.wasm
//   node examples/web/serve.mjs [PORT]   # then open the address it prints
//
// The page is served with the Content-Security-Policy it is made to work
// under: script-src 'self' 'wasm-unsafe-eval' (no 'unsafe-eval').
// createStaticServer() is the same server for examples/web/test.mjs.
import { createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

export const root = fileURLToPath(new URL('../..', import.meta.url));
export const CSP = "script-src 'self' 'wasm-unsafe-eval'";
const TYPES = {
  '.html': 'text/html; charset=utf-8', '.mjs': 'text/javascript', '.js': 'text/javascript',
  '.css': 'text/css', '.json': 'application/json', '.wasm': 'application/wasm', '.png': 'image/png',
  '.svg': 'image/svg+xml',
};

// options: headers (sent with every file; or a function of the request that
// gives them), handle(request, response) -> true where it answered the
// request itself (the test's POSTs, say).
export function createStaticServer({ headers = {}, handle } = {}) {
  return createServer((request, response) => {
    if (handle && handle(request, response)) return;
    const fail = (status) => {
      response.statusCode = status;
      response.setHeader('Content-Type', 'text/plain; charset=utf-8');
      response.end(`${status}\n`);
    };
    if (request.method !== 'GET' && request.method !== 'HEAD') return fail(405);
    let pathname;
    try {
      pathname = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    } catch {
      return fail(400);
    }
    let path = normalize(join(root, pathname));
    if (!path.startsWith(root) && `${path}${sep}` !== root) return fail(404);
    let stat;
    try {
      stat = statSync(path);
      if (stat.isDirectory()) {
        // A folder is its index.html, at an address ending in '/' so that
        // the page's relative addresses resolve inside it.
        if (!pathname.endsWith('/')) {
          response.statusCode = 301;
          response.setHeader('Location', `${pathname}/`);
          return response.end();
        }
        path = join(path, 'index.html');
        stat = statSync(path);
      }
    } catch {
      return fail(404);
    }
    const extra = typeof headers === 'function' ? headers(request) : headers;
    for (const [name, value] of Object.entries(extra)) response.setHeader(name, value);
    response.setHeader('Content-Type', TYPES[extname(path)] || 'application/octet-stream');
    response.setHeader('Content-Length', stat.size);
    response.setHeader('Cache-Control', 'no-cache');
    if (request.method === 'HEAD') return response.end();
    createReadStream(path).on('error', () => response.destroy()).pipe(response);
  });
}

if (process.argv[1] && fileURLToPath(import.meta.url) === normalize(process.argv[1])) {
  const port = Number(process.argv[2] || process.env.PORT || 8080);
  const server = createStaticServer({ headers: { 'Content-Security-Policy': CSP } });
  server.listen(port, '127.0.0.1', () => {
    console.log(`serving ${root} at http://127.0.0.1:${server.address().port}/examples/web/ (Ctrl-C stops)`);
  });
}
