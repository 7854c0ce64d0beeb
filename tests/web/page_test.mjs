// The page in a real browser: Debian's chromium, headless, driven through
// playwright-core, the page served from 127.0.0.1. Checks that it loads
// without an error, its weight, the start picture and ESC, the music clock
// against the wall clock, the frames drawn, and that its frames are the
// headless program's: per-frame checksums against --dump, the canvas against
// --png cell by cell; the viewer's pause holds picture and clock, and a move
// to the next scene lands on the frame the uninterrupted show has there.
// Usage: node page_test.mjs PAGE-FOLDER GLIMFANT [SCREENSHOT.png]
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';

import { launch_chromium, serve } from './page_server.mjs';

const [page_dir, glimfant, screenshot] = process.argv.slice(2);
if (!page_dir || !glimfant) {
    console.error('usage: node page_test.mjs PAGE-FOLDER GLIMFANT [SCREENSHOT.png]');
    process.exit(2);
}
const weight_limit = 150 * 1024;  // gzipped bytes
const run_ms = 20000;             // the live show measured over this long
const seed = 1;
const step = 200;                 // the virtual run covers the show fast
const held_frame = 370;           // music time 74000: the credits
const results = { passed: 0, failed: 0 };

function check(ok, what) {
    console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
    results[ok ? 'passed' : 'failed'] += 1;
}

function fnv_frames(bytes) {
    const sums = [];
    for (let at = 0; at + 4000 <= bytes.length; at += 4000) {
        let h = 2166136261;
        for (let i = at; i < at + 4000; ++i) h = Math.imul(h ^ bytes[i], 16777619) >>> 0;
        sums.push(h);
    }
    return sums;
}

// The headless program's frames and picture, to compare with.
const work = mkdtempSync(join(tmpdir(), 'glimfant-web-'));
execFileSync(glimfant, ['--headless', '--seed', `${seed}`, '--step', `${step}`, '--frames', `${held_frame + 1}`,
                        '--dump', join(work, 'frames.bin')]);
execFileSync(glimfant, ['--headless', '--seed', `${seed}`, '--step', `${step}`, '--at', `${held_frame * step}`,
                        '--png', join(work, 'at.png')]);
const native_sums = fnv_frames(readFileSync(join(work, 'frames.bin')));
const score_frames = 44100 * 20;
execFileSync(glimfant, ['--write-score', join(work, 'score.wav')]);
const score_wav = readFileSync(join(work, 'score.wav'));
const score_data = score_wav.indexOf('data') + 8;
let native_score_sum = 2166136261;
for (const byte of score_wav.subarray(score_data, score_data + 4 * score_frames))
    native_score_sum = Math.imul(native_score_sum ^ byte, 16777619) >>> 0;

// A soundtrack the browser decodes (two seconds of a tone, as WAV), and a file it cannot.
function tone_wav(seconds) {
    const frames = 44100 * seconds;
    const wav = Buffer.alloc(44 + frames * 2);
    wav.write('RIFF', 0);
    wav.writeUInt32LE(36 + frames * 2, 4);
    wav.write('WAVEfmt ', 8);
    wav.writeUInt32LE(16, 16);
    wav.writeUInt16LE(1, 20);
    wav.writeUInt16LE(1, 22);
    wav.writeUInt32LE(44100, 24);
    wav.writeUInt32LE(88200, 28);
    wav.writeUInt16LE(2, 32);
    wav.writeUInt16LE(16, 34);
    wav.write('data', 36);
    wav.writeUInt32LE(frames * 2, 40);
    for (let i = 0; i < frames; ++i) wav.writeInt16LE(Math.round(8000 * Math.sin(i * 0.0627)), 44 + 2 * i);
    return wav;
}
writeFileSync(join(work, 'tone.wav'), tone_wav(2));
writeFileSync(join(work, 'not-sound.mp3'), 'this is not a sound file\n'.repeat(100));

const server = await serve(page_dir, work);
const base = server.base;
const browser = await launch_chromium();
const errors = [];
const page = await browser.newPage({ viewport: { width: 760, height: 440 } });
page.on('pageerror', e => errors.push(`page error: ${e.message}`));
page.on('console', m => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
page.on('requestfailed', r => errors.push(`request failed: ${r.url()}`));
let weight = 0;
const loads = [];
page.on('response', r => {
    if (r.status() >= 400) errors.push(`${r.status()} for ${r.url()}`);
    loads.push(r.body().then(b => { weight += gzipSync(b, { level: 9 }).length; }, () => {}));
});

const canvas_hash = () => page.evaluate(() => {
    const data = document.getElementById('screen').getContext('2d').getImageData(0, 0, 720, 400).data;
    let h = 2166136261;
    for (let i = 0; i < data.length; ++i) h = Math.imul(h ^ data[i], 16777619) >>> 0;
    return h;
});
const wait_state = (s, timeout = 20000) =>
    page.waitForFunction(want => window.glimfant && window.glimfant.state === want, s, { timeout });
const sample = () => page.evaluate(() => ({ music: glimfant.music_ms(), frames: glimfant.frames(),
                                            passed_over: glimfant.frames_passed_over(), ...glimfant.stats }));

try {
    // The live show, on the score and the audio clock.
    await page.goto(`${base}/`);
    await wait_state('start');
    await Promise.all(loads);
    check(weight < weight_limit, `the page weighs ${(weight / 1024).toFixed(1)} KB gzipped (under 150)`);
    const start_picture = await canvas_hash();
    await page.keyboard.press('Space');
    await wait_state('show');
    check(await page.evaluate(() => glimfant.clock) === 'score', 'SPACE starts the score on the audio clock');
    await page.waitForTimeout(1000);
    const a = await sample();
    await page.waitForTimeout(run_ms);
    const b = await sample();
    const wall = b.now - a.now;
    const pace = (b.music - a.music) / wall;
    check(Math.abs(pace - 1) <= 0.02, `the music clock ran ${(b.music - a.music)} ms in ${wall.toFixed(0)} ms of wall time (${(pace * 100).toFixed(2)}%)`);
    // Frames due by the page's clock; a display frame can show at most one,
    // so where the browser called back in fewer 20 ms slots (a loaded
    // machine), those slots are what could be drawn.
    const due = wall / 20;
    const could = Math.min(due, b.slots - a.slots);
    const drawn = b.drawn - a.drawn;
    const run = b.frames - a.frames;
    // A page not drawn for a while (a stalled machine) passes over the frames
    // of that time rather than racing through them.
    const passed_over = b.passed_over - a.passed_over;
    console.log(`     ${run} frames run, ${passed_over} passed over, ${drawn} drawn, ${due.toFixed(0)} due, display frames in ${b.slots - a.slots} slots`);
    check(drawn >= 0.98 * could, `${(100 * drawn / could).toFixed(1)}% of the frames that could be drawn were drawn (98% at least)`);
    // The page may be catching up on a short stall as it is sampled: up to
    // 250 ms of frames.
    check(run + passed_over >= due - 14 && run + passed_over <= due + 2,
          'the frames run follow the page\'s clock (none lost, none extra)');
    // A hidden tab: the browser stops calling back for display frames; the
    // page pauses the sound and its clock, and shown again runs on from there
    // without racing through the frames it missed.
    await page.evaluate(() => {
        const real = window.requestAnimationFrame.bind(window);
        let hidden = false;
        let waiting = null;
        Object.defineProperty(document, 'hidden', { configurable: true, get: () => hidden });
        window.requestAnimationFrame = callback => (hidden ? ((waiting = callback), 0) : real(callback));
        window.set_hidden = h => {
            hidden = h;
            document.dispatchEvent(new Event('visibilitychange'));
            if (!h && waiting) real(waiting);
        };
    });
    const before = await page.evaluate(() => { set_hidden(true); return { music: glimfant.music_ms(), frames: glimfant.frames() }; });
    await page.waitForTimeout(3000);
    const shown = await page.evaluate(() => { set_hidden(false); return { music: glimfant.music_ms(), now: performance.now() }; });
    await page.waitForTimeout(500);
    const after = await sample();
    check(shown.music - before.music < 150, `hidden for 3 s, the music clock paused (moved ${shown.music - before.music} ms)`);
    const allowed = (after.now - shown.now) / 20 + 3;
    check(after.frames - before.frames <= allowed,
          `shown again, ${after.frames - before.frames} frames ran in ${(after.now - shown.now).toFixed(0)} ms (no race through the 150 missed)`);
    // The viewer's pause: picture and clock stand, and go on together.
    await page.keyboard.press('p');
    await page.waitForTimeout(300);  // the audio output takes a moment to stop
    const held_at = { music: await page.evaluate(() => glimfant.music_ms()), canvas: await canvas_hash() };
    await page.waitForTimeout(1000);
    const held_to = { music: await page.evaluate(() => glimfant.music_ms()), canvas: await canvas_hash() };
    await page.keyboard.press('Space');
    await page.waitForTimeout(500);
    const resumed = await page.evaluate(() => ({ music: glimfant.music_ms(), paused: glimfant.paused() }));
    check(held_to.music - held_at.music <= 20 && held_to.canvas === held_at.canvas && !resumed.paused &&
          resumed.music - held_to.music >= 250,
          `p pauses picture and music (the clock moved ${held_to.music - held_at.music} ms in 1 s), ` +
          `SPACE resumes them (${resumed.music - held_to.music} ms in 0.5 s)`);
    // The right arrow: the score is rendered again from the next scene's start.
    const moved = await page.evaluate(async () => {
        const from = glimfant.music_ms();
        window.dispatchEvent(new KeyboardEvent('keydown', { key: 'ArrowRight' }));
        await new Promise(done => setTimeout(done, 500));
        return { from, to: glimfant.music_ms(), next: glimfant.scene_starts().find(t => t > from) };
    });
    check(moved.to >= moved.next && moved.to < moved.next + 1000 && errors.length === 0,
          `the right arrow at ${moved.from} ms moves the music to the next scene's start ${moved.next} ms (${moved.to} ms 0.5 s later)`);
    await page.keyboard.press('Escape');
    await wait_state('start');
    check(await canvas_hash() === start_picture, 'ESC returns to the start picture');

    // The same frames as the headless program, on its virtual clock.
    await page.goto(`${base}/?seed=${seed}&clock=virtual&step=${step}&frames=${held_frame + 1}`);
    await wait_state('start');
    await page.keyboard.press('Space');
    await wait_state('held', 60000);
    const sums = await page.evaluate(() => glimfant.checksums());
    const first_difference = native_sums.findIndex((s, k) => sums[k] !== s);
    check(sums.length === native_sums.length && first_difference < 0,
          `${sums.length} frames' checksums equal --dump's ${native_sums.length}` +
          (first_difference >= 0 ? ` (frame ${first_difference} differs)` : ''));
    const cells_differing = await page.evaluate(async () => {
        const picture = new Image();
        picture.src = '/_test/at.png';
        await picture.decode();
        const scratch = document.createElement('canvas');
        scratch.width = 720;
        scratch.height = 400;
        const context = scratch.getContext('2d');
        context.drawImage(picture, 0, 0);
        const want = context.getImageData(0, 0, 720, 400).data;
        const got = document.getElementById('screen').getContext('2d').getImageData(0, 0, 720, 400).data;
        let differing = 0;
        for (let cell = 0; cell < 2000; ++cell) {
            const left = (cell % 80) * 9;
            const top = Math.floor(cell / 80) * 16;
            let same = true;
            for (let y = top; y < top + 16 && same; ++y)
                for (let i = (y * 720 + left) * 4; i < (y * 720 + left + 9) * 4; ++i)
                    if (want[i] !== got[i]) same = false;
            if (!same) ++differing;
        }
        return differing;
    });
    check(cells_differing === 0, `the canvas at music time ${held_frame * step} ms equals --png's picture (${cells_differing} of 2000 cells differ)`);
    const score_sum = await page.evaluate(n => glimfant.score_checksum(n), score_frames);
    check(score_sum === native_score_sum, 'the score\'s first 20 s as the page renders it equal --write-score\'s samples');
    if (screenshot) await page.screenshot({ path: screenshot });
    await page.keyboard.press('q');
    await wait_state('start');
    check(true, 'q ends the held show');

    // A move to the next scene, on the virtual clock: the frames before it
    // are the show's first, the frames from it the uninterrupted show's at
    // the scene's start (the first frame time at or past it).
    const seek_frames = 60;
    await page.goto(`${base}/?seed=${seed}&clock=virtual&step=${step}&frames=${seek_frames}`);
    await wait_state('start');
    await page.keyboard.press('Space');
    await page.waitForFunction(() => glimfant.frames() >= 8);
    await page.keyboard.press('ArrowRight');
    await wait_state('held');
    const seek_sums = await page.evaluate(() => glimfant.checksums());
    const starts = await page.evaluate(() => glimfant.scene_starts());
    const same = (from, to, n) => Array.from({ length: n }, (_, i) => seek_sums[from + i] === native_sums[to + i]).every(x => x);
    // The key was taken before frame j, which then read music time j x step.
    const taken = seek_sums.findIndex((_, j) => {
        const k = Math.ceil(starts.find(t => t > j * step) / step);
        return j > 0 && same(0, 0, j) && k + seek_frames - j <= native_sums.length && same(j, k, seek_frames - j);
    });
    check(seek_sums.length === seek_frames && taken > 0,
          `after the right arrow at frame ${taken}, the frames are the uninterrupted show's from the next scene's start`);
    // from=MS begins the show at the first frame time at or past MS.
    await page.goto(`${base}/?seed=${seed}&clock=virtual&step=${step}&frames=5&from=${40 * step - 1}`);
    await wait_state('start');
    await page.keyboard.press('Space');
    await wait_state('held');
    const from_sums = await page.evaluate(() => glimfant.checksums());
    check(from_sums.length === 5 && from_sums.every((sum, i) => sum === native_sums[40 + i]),
          `from=${40 * step - 1} shows the uninterrupted show's frames from music time ${40 * step} ms`);
    // The address takes what the command line takes: a scene's name for
    // from=, whole decimal numbers within the options' bounds; the rest is named and ignored.
    await page.goto(`${base}/?seed=${seed}&clock=virtual&step=${step}&frames=3&from=plasma`);
    await wait_state('start');
    await page.keyboard.press('Space');
    await wait_state('held');
    const plasma = Math.ceil(starts[3] / step);  // the fourth scene
    const plasma_sums = await page.evaluate(() => glimfant.checksums());
    check(plasma_sums.length === 3 && plasma_sums.every((sum, i) => sum === native_sums[plasma + i]),
          'from=plasma shows the uninterrupted show\'s frames from the plasma\'s start');
    await page.goto(`${base}/?clock=virtual&step=1001&from=1e3&seed=0x10`);
    await wait_state('start');
    const refused = await page.textContent('#notice');
    check(['step=1001 is not from 1 to 1000 ms', 'from=1e3 is neither a scene', 'seed=0x10 is not a whole number']
              .every(part => refused.includes(part)), `a bound or a syntax the command line refuses is named: "${refused}"`);

    // A soundtrack from the address plays instead of the score, and its
    // position is the clock; one that cannot be played leaves the silent clock and a line.
    const clock_after_start = async (query, drop) => {
        await page.goto(`${base}/?${query}`);
        await wait_state('start');
        if (drop) {
            await page.evaluate(async url => {
                const file = new File([await (await fetch(url)).arrayBuffer()], url.split('/').pop());
                const data = new DataTransfer();
                data.items.add(file);
                window.dispatchEvent(new DragEvent('drop', { dataTransfer: data, cancelable: true }));
            }, drop);
            await page.waitForFunction(() => /^soundtrack:/.test(document.getElementById('notice').textContent));
        }
        await page.keyboard.press('Enter');
        await wait_state('show');
        // The clock stands at 0 until the first sample is heard.
        await page.waitForFunction(() => glimfant.music_ms() > 0);
        const from = await sample();
        await page.waitForTimeout(1000);
        const to = await sample();
        return { clock: await page.evaluate(() => glimfant.clock), notice: await page.textContent('#notice'),
                 pace: (to.music - from.music) / (to.now - from.now) };
    };
    const tone = await clock_after_start('soundtrack=/_test/tone.wav');
    check(tone.clock === 'soundtrack' && Math.abs(tone.pace - 1) < 0.1 && tone.notice === '',
          `?soundtrack= plays the file on its own clock (${tone.clock}, ${(tone.pace * 100).toFixed(0)}%)`);
    const dropped = await clock_after_start('', '/_test/tone.wav');
    check(dropped.clock === 'soundtrack' && Math.abs(dropped.pace - 1) < 0.1,
          `a dropped file plays instead of the score (${dropped.clock}, "${dropped.notice}")`);
    const bad = await clock_after_start('soundtrack=/_test/not-sound.mp3');
    check(bad.clock === 'silent' && Math.abs(bad.pace - 1) < 0.1 && /cannot be played/.test(bad.notice),
          `a soundtrack that cannot be played: the silent clock and "${bad.notice}"`);
    check(errors.length === 0, `no page or console errors${errors.length ? `: ${errors.join('; ')}` : ''}`);
} catch (e) {
    check(false, `the test ran to its end (${e.message.split('\n')[0]})`);
} finally {
    await browser.close();
    server.close();
    rmSync(work, { recursive: true, force: true });
}
console.log(`${results.passed} passed, ${results.failed} failed`);
process.exit(results.failed === 0 ? 0 : 1);
