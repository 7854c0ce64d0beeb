'use strict';
// glimfant in a web page: loads the engine (WebAssembly) and its glyphs, shows
// the start picture, starts the show on SPACE, Enter, a click or a tap, runs
// the frames that are due from each display frame, passes the viewer's keys
// (pause, the scene before or after) to the engine and takes its sound where
// the engine moved the show, and ends the show on ESC or q, back at the start
// picture. A show is one instance of the engine; the
// next show gets a fresh one. The sound and the music clock are sound.js's.
//
// Address parameters: soundtrack=URL plays that file instead of the score;
// seed=S seeds the random generator; clock=virtual runs frame k at music time
// k x step (step=MS, default 20) without sound, as the headless program does;
// frames=N holds the show's frame N - 1 on the screen; loop=1 runs the show
// again from its start after its end; from=MS or from=SCENE begins it at
// music time MS or at a scene's start. Numbers are whole and decimal, within
// the command line's bounds, as the command line takes them.
(async () => {
    const width = 720;   // the canvas: 80 x 25 cells of 9 x 16 pixels
    const height = 400;
    const glyph_bytes = 256 * 16 * 2;
    // The engine's own constants, which the page needs before an engine runs:
    // frame_ms (src/render/ascii_render.h), show_end_ms (src/timeline/show_timeline.h)
    // and the command line's largest --step (max_step_ms, src/app/options.cpp).
    const frame_ms = 20;
    const show_end_ms = 158154;
    const max_step_ms = 1000;

    const canvas = document.getElementById('screen');
    const screen = canvas.getContext('2d', { alpha: false });
    const notice = document.getElementById('notice');
    const keys = document.getElementById('keys');
    const say = text => { notice.textContent = text; };
    const keys_line = 'SPACE, Enter or a click starts \u00b7 p or SPACE pauses \u00b7 \u2190 \u2192 scenes \u00b7 ESC or q ends \u00b7 F or a double-click: full screen \u00b7 drop an MP3 to play it';

    const params = new URLSearchParams(location.search);
    const problems = [];
    // A whole number as the command line takes it: decimal digits alone (no
    // sign, space, exponent or 0x), from least to most.
    function number(name, fallback, least, most = 0xFFFFFFFF, problem = `is not a whole number from ${least} to ${most}`) {
        const text = params.get(name);
        if (text === null) return fallback;
        const n = /^[0-9]+$/.test(text) ? Number(text) : NaN;
        if (!(n >= least && n <= most)) {
            problems.push(`${name}=${text} ${problem}; ignored`);
            return fallback;
        }
        return n;
    }
    // from= a scene's name: its start, once an engine can say where that is.
    const from_problem = `is neither a scene's name nor a music time from 0 to ${show_end_ms} ms`;
    const from_text = params.get('from');
    let from_scene = from_text !== null && /^[a-z-]+$/.test(from_text) ? from_text : null;
    const options = {
        seed: number('seed', null, 0),
        virtual_clock: params.get('clock') === 'virtual',
        step: number('step', frame_ms, 1, max_step_ms, `is not from 1 to ${max_step_ms} ms`),
        frames: number('frames', 0, 1),
        soundtrack: params.get('soundtrack'),
        loop: params.get('loop') === '1',
        from: from_scene === null ? number('from', 0, 0, show_end_ms, from_problem) : 0,
    };
    if (params.has('loop') && !['0', '1'].includes(params.get('loop'))) problems.push(`loop=${params.get('loop')}: only loop=1 or loop=0 is known; ignored`);
    if (params.has('clock') && !options.virtual_clock) problems.push(`clock=${params.get('clock')}: only clock=virtual is known; ignored`);

    // The page's tick count: milliseconds, wrapping at 2^32 like the console's.
    const tick = () => Math.floor(performance.timeOrigin + performance.now()) >>> 0;

    let compiled = null;   // the engine's WebAssembly, compiled once
    let glyphs = null;
    let engine = null;     // the instance running the current show
    let image = null;      // the engine's pixels, as the canvas takes them
    let state = 'loading'; // 'start', 'starting', 'show', 'held' (frames=N done), 'loading'
    let stats = null;      // the show's frame counts, for the page's own measure
    let soundtrack_ready = Promise.resolve();
    let end_asked = false;  // ESC while the sound was starting

    async function fetch_bytes(url) {
        const response = await fetch(url);
        if (!response.ok) throw new Error(`${url}: ${response.status} ${response.statusText}`);
        return response.arrayBuffer();
    }

    function show_pixels() {
        const rows = engine._web_changed_rows();
        if (rows > 0) screen.putImageData(image, 0, 0, 0, engine._web_changed_first(), width, rows);
    }

    // The music time the scene of this name starts at, as --from takes it; -1 for no scene.
    function scene_start(name) {
        for (let i = 0; engine._web_scene_start(i) >= 0; ++i) {
            const at = engine._web_scene_name(i);
            const end = engine.HEAPU8.indexOf(0, at);
            if (new TextDecoder().decode(engine.HEAPU8.subarray(at, end)) === name) return engine._web_scene_start(i);
        }
        return -1;
    }

    // A fresh engine at its start picture.
    async function open_engine() {
        state = 'loading';
        engine = await glimfant_engine({
            instantiateWasm(imports, done) {
                WebAssembly.instantiate(compiled, imports).then(instance => done(instance, compiled));
                return {};
            },
        });
        engine.HEAPU8.set(glyphs, engine._web_glyphs());
        if (from_scene !== null) {
            const start = scene_start(from_scene);
            if (start >= 0) options.from = start;
            else problems.push(`from=${from_scene} ${from_problem}; ignored`);
            if (problems.length) say(problems.join('; '));
            from_scene = null;
        }
        engine._web_open(options.seed !== null, options.seed ?? 0, options.virtual_clock, options.step,
                         options.frames, tick(), options.loop, options.from);
        image = new ImageData(new Uint8ClampedArray(engine.HEAPU8.buffer, engine._web_pixels(), width * height * 4),
                              width, height);
        show_pixels();
        keys.textContent = keys_line;
        state = 'start';
    }

    async function start_show() {
        if (state !== 'start') return;
        state = 'starting';
        keys.textContent = '';
        // With a virtual clock the show is the headless one: no sound.
        const problem = options.virtual_clock ? null : await glimfant_sound.start(engine, soundtrack_ready);
        say(problem || '');
        const now = performance.now();
        stats = { start: now, drawn: 0, slots: 0, last_slot: -1, hidden_ms: 0, hidden_at: null };
        engine._web_start(tick());
        follow_engine();
        state = 'show';
        if (end_asked) end_show();
    }

    async function end_show() {
        end_asked = state === 'starting';
        if (state !== 'show' && state !== 'held') return;
        glimfant_sound.stop();
        await open_engine();
    }

    // The viewer's pause and moves, as the engine took them: the sound follows.
    function follow_engine() {
        if (options.virtual_clock) return;  // no sound: the engine's clock moved itself
        const moved = engine._web_take_seek();
        if (moved >= 0) glimfant_sound.seek(engine, moved);
        glimfant_sound.hold('viewer', engine._web_music_paused() !== 0);
    }

    function on_display_frame() {
        requestAnimationFrame(on_display_frame);
        if (state !== 'show') return;
        glimfant_sound.feed(engine);
        const now = performance.now();
        const slot = Math.floor((now - stats.start - stats.hidden_ms) / frame_ms);
        if (slot !== stats.last_slot) {
            stats.slots += 1;
            stats.last_slot = slot;
        }
        const ran = engine._web_step(tick(), glimfant_sound.time_ms());
        follow_engine();
        if (ran > 0) {
            show_pixels();
            stats.drawn += 1;
        }
        if (options.frames !== 0 && engine._web_frames() >= options.frames) state = 'held';
    }

    function fit() {
        const ratio = window.devicePixelRatio || 1;
        const fitted = Math.min(innerWidth * ratio / width, innerHeight * ratio / height);
        // Whole device pixels a pixel where that fills most of the window,
        // else (and in full screen) as large as fits, still crisp.
        const whole = Math.floor(fitted);
        const scale = !document.fullscreenElement && whole >= 1 && whole >= 0.8 * fitted ? whole : fitted;
        canvas.style.width = `${width * scale / ratio}px`;
        canvas.style.height = `${height * scale / ratio}px`;
    }

    function toggle_full_screen() {
        const done = document.fullscreenElement ? document.exitFullscreen()
                                                : document.documentElement.requestFullscreen?.();
        done?.catch(e => say(`full screen: ${e.message}`));
    }

    async function take_soundtrack(bytes_promise, name) {
        try {
            await glimfant_sound.set_soundtrack(await bytes_promise);
            return true;
        } catch (e) {
            glimfant_sound.set_soundtrack_problem(`the soundtrack ${name} cannot be played (${e.message || e}): silent clock`);
            return false;
        }
    }

    addEventListener('keydown', event => {
        if (event.ctrlKey || event.altKey || event.metaKey) return;
        const viewer_key = { p: 1, P: 1, ' ': 1, ArrowRight: 2, PageDown: 2, ArrowLeft: 3, PageUp: 3 }[event.key];
        if (state === 'show' && viewer_key) {
            engine._web_key(viewer_key);  // browser_key_pause, _next, _previous
            event.preventDefault();
            return;
        }
        switch (event.key) {
        case ' ': case 'Enter': start_show(); break;
        case 'Escape': case 'q': case 'Q': end_show(); break;
        case 'f': case 'F': toggle_full_screen(); break;
        default: return;
        }
        event.preventDefault();
    });
    addEventListener('click', () => start_show());
    addEventListener('dblclick', toggle_full_screen);
    addEventListener('resize', fit);
    document.addEventListener('fullscreenchange', fit);
    document.addEventListener('visibilitychange', () => {
        if (document.hidden) {
            glimfant_sound.hold('hidden', true);
            if (stats) stats.hidden_at = performance.now();
        } else {
            glimfant_sound.hold('hidden', false);
            if (stats && stats.hidden_at !== null) stats.hidden_ms += performance.now() - stats.hidden_at;
            if (stats) stats.hidden_at = null;
        }
    });
    addEventListener('dragover', event => event.preventDefault());
    addEventListener('drop', async event => {
        event.preventDefault();
        const file = event.dataTransfer.files[0];
        if (!file) return;
        say(`decoding ${file.name}\u2026`);
        soundtrack_ready = take_soundtrack(file.arrayBuffer(), file.name);
        if (await soundtrack_ready) say(`soundtrack: ${file.name} (SPACE starts the show with it)`);
        else say(`${file.name} cannot be played: the show would run on the silent clock`);
        await end_show();
    });

    // What the page measures, for its test and anyone curious.
    window.glimfant = {
        get state() { return state; },
        get clock() { return glimfant_sound.kind || (options.virtual_clock ? 'virtual' : null); },
        get stats() { return stats && { ...stats, now: performance.now() }; },
        music_ms: () => (options.virtual_clock ? (engine ? engine._web_music_time() : 0) : glimfant_sound.time_ms()),
        paused: () => (engine ? engine._web_music_paused() !== 0 : false),
        scene_starts: () => {
            const starts = [];
            for (let i = 0; engine && engine._web_scene_start(i) >= 0; ++i) starts.push(engine._web_scene_start(i));
            return starts;
        },
        frames: () => (engine ? engine._web_frames() : 0),
        frames_passed_over: () => (engine ? engine._web_frames_passed_over() : 0),
        scene: () => (engine ? engine._web_scene() : 0),
        // FNV-1a of the score's first frames as the engine renders them, as
        // 16-bit little-endian stereo. Only on the virtual clock, where nothing plays it.
        score_checksum(frames) {
            if (!options.virtual_clock) return null;
            let h = 2166136261;
            for (let done = 0; done < frames;) {
                const n = Math.min(4096, frames - done);
                const at = engine._web_score_next(n);
                for (const byte of engine.HEAPU8.subarray(at, at + 4 * n)) h = Math.imul(h ^ byte, 16777619) >>> 0;
                done += n;
            }
            return h;
        },
        checksums() {
            const n = Math.min(engine._web_frames(), 8192);
            const at = engine._web_checksums() >> 2;
            return Array.from(engine.HEAPU32.subarray(at, at + n));
        },
    };

    fit();
    if (problems.length) say(problems.join('; '));
    try {
        const [module_bytes, glyph_data] = await Promise.all([fetch_bytes('glimfant_engine.wasm'),
                                                              fetch_bytes('glyphs.bin')]);
        if (glyph_data.byteLength !== glyph_bytes) throw new Error(`glyphs.bin: ${glyph_data.byteLength} bytes, not ${glyph_bytes}`);
        glyphs = new Uint8Array(glyph_data);
        compiled = await WebAssembly.compile(module_bytes);
        if (options.soundtrack) {
            say(`loading the soundtrack ${options.soundtrack}\u2026`);
            soundtrack_ready = take_soundtrack(fetch_bytes(options.soundtrack), options.soundtrack)
                .then(ok => say(ok ? '' : `the soundtrack ${options.soundtrack} cannot be played: the show would run on the silent clock`));
        }
        await open_engine();
    } catch (e) {
        say(`glimfant cannot start: ${e.message || e}`);
        throw e;
    }
    requestAnimationFrame(on_display_frame);
})();
