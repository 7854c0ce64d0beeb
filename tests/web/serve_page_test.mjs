// The page as glimfant --serve --serve-web hands it to a browser: Debian's
// chromium, headless, loads it from the server on a loopback port of the
// system's choosing. Checks that every file comes (with its type, as the
// engine needs application/wasm), that the page draws its start picture and
// starts the show on SPACE, and that the server logged the browser's
// requests as answered.
// Usage: node serve_page_test.mjs PAGE-FOLDER GLIMFANT
import { spawn } from 'node:child_process';

import { launch_chromium } from './page_server.mjs';

const [page_dir, glimfant] = process.argv.slice(2);
if (!page_dir || !glimfant) {
    console.error('usage: node serve_page_test.mjs PAGE-FOLDER GLIMFANT');
    process.exit(2);
}
const results = { passed: 0, failed: 0 };
function check(ok, what) {
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
    results[ok ? 'passed' : 'failed'] += 1;
}

const server = spawn(glimfant, ['--serve', '127.0.0.1:0', '--serve-web', page_dir], { stdio: ['ignore', 'ignore', 'pipe'] });
let log = '';
const port = await new Promise((resolve, reject) => {
    server.stderr.on('data', chunk => {
        log += chunk;
        const m = /listening on 127\.0\.0\.1:(\d+)/.exec(log);
        if (m) resolve(Number(m[1]));
    });
    server.on('exit', status => reject(new Error(`the server ended (${status}): ${log}`)));
    setTimeout(() => reject(new Error('the server did not start within 10 s')), 10000);
});
const browser = await launch_chromium();
const errors = [];
try {
    const page = await browser.newPage({ viewport: { width: 760, height: 440 } });
    page.on('pageerror', e => errors.push(`page error: ${e.message}`));
    page.on('requestfailed', r => errors.push(`request failed: ${r.url()}`));
    page.on('response', r => { if (r.status() >= 400) errors.push(`${r.status()} for ${r.url()}`); });
    const wait_state = s => page.waitForFunction(want => window.glimfant && window.glimfant.state === want, s,
                                                 { timeout: 20000 });
    await page.goto(`http://127.0.0.1:${port}/`);
    await wait_state('start');
    const lit = await page.evaluate(() => {
        const data = document.getElementById('screen').getContext('2d').getImageData(0, 0, 720, 400).data;
        let n = 0;
        for (let i = 0; i < data.length; i += 4) n += data[i] + data[i + 1] + data[i + 2] > 0;
        return n;
    });
    check(lit > 1000, `the start picture is drawn (${lit} pixels lit)`);
    await page.keyboard.press('Space');
    await wait_state('show');
    check(true, 'SPACE starts the show');
    check(errors.length === 0, `every file came${errors.length ? `: ${errors.join('; ')}` : ''}`);
    // A connection's line is written when it closes: the browser's own close, or a second after the answer.
    const logged = /close 127\.0\.0\.1:\d+ http path=\/glimfant_engine\.wasm status=200/;
    for (let i = 0; i < 30 && !logged.test(log); ++i) await page.waitForTimeout(100);
    check(logged.test(log), `the server answered the engine with 200 and logged it${logged.test(log) ? '' : `:\n${log}`}`);
} catch (e) {
    check(false, `the test ran to its end (${e.message.split('\n')[0]})`);
} finally {
    await browser.close();
    server.kill('SIGTERM');
}
console.log(`${results.passed} passed, ${results.failed} failed`);
process.exit(results.failed === 0 ? 0 : 1);
