// The page's work a display frame, in headless chromium: each callback the
// page gets from the browser (the score fed ahead, the frames due run, the
// changed rows put on the canvas) is timed over SECONDS of the live show.
// Needs the page built (scripts/build-web.sh) and playwright-core installed
// (scripts/test-web.sh does both).
//
//   node bench/web_frame_work.mjs [PAGE-FOLDER [SECONDS]]   (default: build-web 20)
//
// Target: under 2 ms on average of the 16.7 ms a display frame has at 60 Hz.
import { fileURLToPath } from 'node:url';

import { launch_chromium, serve } from '../tests/web/page_server.mjs';

const root = fileURLToPath(new URL('..', import.meta.url));
const page_dir = process.argv[2] || `${root}/build-web`;
const seconds = Number(process.argv[3] || 20);

const server = await serve(page_dir);
const browser = await launch_chromium();
try {
    const page = await browser.newPage({ viewport: { width: 760, height: 440 } });
    await page.addInitScript(() => {
        const real = window.requestAnimationFrame.bind(window);
        window.work_ms = [];
        window.requestAnimationFrame = callback => real(t => {
            const from = performance.now();
            callback(t);
            window.work_ms.push(performance.now() - from);
        });
    });
    await page.goto(`${server.base}/`);
    await page.waitForFunction(() => window.glimfant && glimfant.state === 'start');
    await page.keyboard.press('Space');
    await page.waitForFunction(() => glimfant.state === 'show');
    await page.evaluate(() => { window.work_ms.length = 0; });
    const from = await page.evaluate(() => glimfant.stats);
    await page.waitForTimeout(seconds * 1000);
    const to = await page.evaluate(() => glimfant.stats);
    const work = (await page.evaluate(() => window.work_ms)).sort((a, b) => a - b);
    const at = q => work[Math.min(work.length - 1, Math.floor(q * work.length))].toFixed(2);
    const mean = work.reduce((a, b) => a + b, 0) / work.length;
    console.log(`display frames: ${work.length} in ${seconds} s; work a display frame: mean ${mean.toFixed(2)} ms, ` +
                `median ${at(0.5)}, 99th percentile ${at(0.99)}, most ${at(1)}`);
    console.log(`frames drawn: ${to.drawn - from.drawn} of ${((to.now - from.now) / 20).toFixed(0)} due`);
} finally {
    await browser.close();
    server.close();
}
