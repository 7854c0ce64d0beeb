// The page's folder served from 127.0.0.1 on a free port (and under /_test/
// a folder of the caller's own files), and Debian's chromium, headless, to
// open it in through playwright-core, with sound allowed without a gesture.
import { chromium } from 'playwright-core';
import { createServer } from 'node:http';
import { readFileSync } from 'node:fs';
import { extname, join, normalize } from 'node:path';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.svg': 'image/svg+xml', '.png': 'image/png', '.wav': 'audio/wav', '.mp3': 'audio/mpeg' };

// Resolves to { base, close }: the address to load and the server's end.
export async function serve(page_dir, test_dir) {
    const server = createServer((request, response) => {
        const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
        const [root, rest] = test_dir && path.startsWith('/_test/') ? [test_dir, path.slice(6)] : [page_dir, path];
        const file = join(root, normalize(rest === '/' ? '/index.html' : rest));
        try {
            const body = readFileSync(file);
            response.writeHead(200, { 'Content-Type': types[extname(file)] || 'application/octet-stream' });
            response.end(body);
        } catch {
            response.writeHead(404);
            response.end();
        }
    });
    await new Promise(done => server.listen(0, '127.0.0.1', done));
    return { base: `http://127.0.0.1:${server.address().port}`, close: () => server.close() };
}

export function launch_chromium() {
    return chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
                             args: ['--autoplay-policy=no-user-gesture-required'] });
}
