'use strict';
// The show's sound in a web page and the music clock it gives. The built-in
// score is rendered by the engine a piece at a time and scheduled ahead as
// sound buffers, one after the other; a soundtrack is decoded by the browser
// and played as one buffer. The music time is the sound's own position: the
// audio context's output time since the first sample. Without sound (no
// device, a context the browser would not start, a soundtrack that cannot be
// played) it is the page's clock: the silent clock.
const glimfant_sound = (() => {
    const rate = 44100;      // the score's frames a second
    const piece = 4096;      // score frames rendered at a time (93 ms)
    const lead_s = 0.05;     // from the start to the first sample
    const ahead_s = 0.5;     // the score is scheduled this far past the context's time
    const start_wait_ms = 1000;

    let context = null;      // made on the first start, within the user's gesture
    let soundtrack = null;   // a decoded soundtrack, or null for the score
    let soundtrack_problem = null;  // why the soundtrack given cannot be played
    // The sound playing: kind 'score', 'soundtrack' or 'silent'; origin, the
    // context time (s) of music time 0, or for the silent clock the page's (ms).
    let playing = null;
    const holds = new Set();  // what holds the sound and its clock: 'hidden', 'viewer'

    function make_context() {
        if (context) return;
        const AudioContextType = window.AudioContext || window.webkitAudioContext;
        if (!AudioContextType) throw new Error('this browser has no Web Audio');
        try {
            context = new AudioContextType({ latencyHint: 'interactive', sampleRate: rate });
        } catch {
            context = new AudioContextType({ latencyHint: 'interactive' });  // buffers are resampled
        }
    }

    // Decodes a soundtrack (an MP3, or any file the browser decodes) to play
    // instead of the score; throws what the browser said when it cannot.
    async function set_soundtrack(bytes) {
        soundtrack_problem = null;
        const decoder = new OfflineAudioContext(2, 1, rate);
        soundtrack = await decoder.decodeAudioData(bytes);
    }

    // A soundtrack was asked for and cannot be played: the show runs on the silent clock.
    function set_soundtrack_problem(why) {
        soundtrack = null;
        soundtrack_problem = why;
    }

    function silent() {
        playing = { kind: 'silent', origin: performance.now(), paused_at: null, last_ms: 0, sources: [] };
    }

    // Starts the sound and the music clock at time 0; resolves to null, or to
    // one line saying why the show runs on the silent clock. ready: a promise
    // of the soundtrack (when one is loading). Call it from the user's gesture:
    // the context is made and resumed before anything is awaited.
    async function start(engine, ready) {
        stop();
        let resumed = null;
        try {
            make_context();
            resumed = context.resume();
        } catch (e) {
            silent();
            return `no sound: ${e.message}`;
        }
        await ready;
        const waited = await Promise.race([resumed.then(() => true, () => false),
            new Promise(done => setTimeout(() => done(false), start_wait_ms))]);
        if (!waited || context.state !== 'running') {
            silent();
            return 'no sound: the browser did not start the audio output';
        }
        if (soundtrack_problem) {
            silent();
            return soundtrack_problem;
        }
        const origin = context.currentTime + lead_s;
        playing = { kind: soundtrack ? 'soundtrack' : 'score', origin, next_s: origin,
                    frames_left: engine._web_score_length(), last_ms: 0, sources: [] };
        if (soundtrack) schedule(soundtrack, origin);
        else feed(engine);
        return null;
    }

    function schedule(buffer, when, offset = 0) {
        const source = context.createBufferSource();
        source.buffer = buffer;
        source.connect(context.destination);
        // Late (the page stalled): start at once, that far into the buffer,
        // so that the sound stays at its place on the clock.
        const late = context.currentTime - when;
        if (late > 0) source.start(0, offset + late);
        else source.start(when, offset);
        playing.sources.push(source);
        source.onended = () => {
            const i = playing ? playing.sources.indexOf(source) : -1;
            if (i >= 0) playing.sources.splice(i, 1);
        };
    }

    // Renders and schedules the score up to ahead_s past the context's time.
    function feed(engine) {
        const p = playing;
        if (!p || p.kind !== 'score' || context.state !== 'running') return;
        while (p.frames_left > 0 && p.next_s < context.currentTime + ahead_s) {
            const n = Math.min(piece, p.frames_left);
            const at = engine._web_score_next(n) >> 1;
            const samples = engine.HEAP16.subarray(at, at + 2 * n);
            const buffer = context.createBuffer(2, n, rate);
            const left = buffer.getChannelData(0);
            const right = buffer.getChannelData(1);
            for (let i = 0; i < n; ++i) {
                left[i] = samples[2 * i] / 32768;
                right[i] = samples[2 * i + 1] / 32768;
            }
            if (p.next_s + n / rate > context.currentTime) schedule(buffer, p.next_s);
            p.next_s += n / rate;
            p.frames_left -= n;
        }
    }

    // Music milliseconds since the start: never goes back, 0 before the first sample.
    function time_ms() {
        const p = playing;
        if (!p) return 0;
        let ms;
        if (p.kind === 'silent') {
            ms = (p.paused_at ?? performance.now()) - p.origin;
        } else {
            const now = context.currentTime;
            // What is heard now: the context's time less the output's latency,
            // or better, the browser's own pairing of the two clocks.
            let t = now - (context.baseLatency || 0) - (context.outputLatency || 0);
            if (context.state === 'running' && context.getOutputTimestamp) {
                const stamp = context.getOutputTimestamp();
                if (stamp.performanceTime > 0) t = stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000;
            }
            ms = (Math.min(t, now) - p.origin) * 1000;
        }
        p.last_ms = Math.min(Math.max(Math.floor(ms), p.last_ms), 0x7FFFFFFF);
        return p.last_ms;
    }

    // The sound and its clock stand while anything holds them: a hidden page,
    // the viewer's pause. With nothing holding them any more, both go on.
    function hold(reason, on) {
        const was = holds.size > 0;
        if (on) holds.add(reason);
        else holds.delete(reason);
        const is = holds.size > 0;
        if (!playing || was === is) return;
        if (playing.kind !== 'silent') {
            if (is) context.suspend();
            else context.resume();
        } else if (is) {
            playing.paused_at ??= performance.now();
        } else if (playing.paused_at !== null) {
            playing.origin += performance.now() - playing.paused_at;
            playing.paused_at = null;
        }
    }

    // Moves the sound and its clock to music time ms: the score is rendered
    // again from there, a soundtrack plays on from that offset.
    function seek(engine, ms) {
        const p = playing;
        if (!p) return;
        p.last_ms = ms;
        if (p.kind === 'silent') {
            p.origin = (p.paused_at ?? performance.now()) - ms;
            return;
        }
        stop_sources(p);
        // The score is rendered up to there first (up to about a second): the
        // clock goes on from ms when the sound does.
        const frame = Math.min(Math.round(ms * rate / 1000), engine._web_score_length());
        if (p.kind === 'score') engine._web_score_seek(frame);
        const when = context.currentTime + lead_s;
        p.origin = when - ms / 1000;
        if (p.kind === 'soundtrack') {
            if (ms / 1000 < soundtrack.duration) schedule(soundtrack, when, ms / 1000);
            return;
        }
        p.next_s = when;
        p.frames_left = engine._web_score_length() - frame;
        feed(engine);
    }

    function stop_sources(p) {
        for (const source of p.sources) {
            source.onended = null;
            source.stop();
            source.disconnect();
        }
        p.sources = [];
    }

    function stop() {
        holds.delete('viewer');
        if (!playing) return;
        stop_sources(playing);
        playing = null;
    }

    return {
        set_soundtrack, set_soundtrack_problem, start, feed, time_ms, hold, seek, stop,
        get kind() { return playing ? playing.kind : null; },
        get has_soundtrack() { return soundtrack !== null; },
    };
})();
