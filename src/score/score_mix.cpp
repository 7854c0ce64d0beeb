// The mix: the voices' levels and sends in one table, a ping-pong echo, a
// room of damped combs and all-passes, and the master stage. A frame goes
// through it in four stages: the drums and voices sound, their levels are
// summed into the dry mix and the sends, the echo and the room add their
// returns, and the master turns the sum into two samples.
#include "score/score_mix.h"

#include <cstring>

#include "score/score_drums.h"
#include "score/score_dsp.h"
#include "score/score_format.h"
#include "score/score_voices.h"

namespace {

// A voice's level to each side, and what it sends to the room and the echo.
struct voice_level { float left, right, room, echo; };

// The mix's levels: a row a voice, then the buses. A stereo voice sends the
// sum of its sides; a panned one (the arpeggio, the chime) takes its side's
// level times its place.
struct mix_levels {
    voice_level kick, snare, hat, crash, bass, pad, arp, lead, stab, zap, riser, boom, chime;
    float room_return;  // the room's output, each side
    float master;       // the whole mix, before the fade, the DC blocker and the limiter
};

constexpr mix_levels levels = {
    //         left     right    room     echo
    .kick  = {0.95f,   0.95f,   0.0f,    0.0f},
    .snare = {0.42f,   0.42f,   0.2f,    0.0f},
    .hat   = {0.10f,   0.16f,   0.0f,    0.0f},
    .crash = {0.13f,   0.13f,   0.05f,   0.0f},
    .bass  = {0.42f,   0.42f,   0.0f,    0.0f},
    .pad   = {0.055f,  0.055f,  0.02f,   0.0f},
    .arp   = {0.09f,   0.09f,   0.04f,   0.06f},
    .lead  = {0.075f,  0.075f,  0.05f,   0.05f},
    .stab  = {0.11f,   0.11f,   0.035f,  0.0f},
    .zap   = {0.22f,   0.22f,   0.06f,   0.0f},
    .riser = {0.3f,    0.3f,    0.05f,   0.0f},
    .boom  = {0.8f,    0.8f,    0.08f,   0.0f},
    .chime = {0.12f,   0.12f,   0.06f,   0.08f},
    .room_return = 0.25f,
    .master = 0.5f,
};

constexpr int echo_frames = 11180;       // three eighth notes
constexpr float echo_darkening = 0.45f;  // a one-pole low pass on each return
constexpr float echo_feedback = 0.42f;

constexpr int comb_lengths[4] = {1116, 1188, 1277, 1356};
constexpr int allpass_lengths[2] = {556, 441};
constexpr int stereo_spread = 23;
constexpr int comb_room = 1356 + stereo_spread;
constexpr int allpass_room = 556 + stereo_spread;
constexpr float comb_fresh = 0.7f, comb_kept = 0.3f;  // the combs' damping: a one-pole low pass
constexpr float comb_feedback = 0.8f;
constexpr float allpass_feedback = 0.5f;

constexpr float limit_knee = 0.6f;
constexpr float limit_ceiling = 0.891f;  // -1 dBFS
constexpr float dc_pole = 0.9995f;       // about 3.5 Hz

struct echo_line { float line[2][echo_frames]; float low[2]; int at; };

struct room { float comb[2][4][comb_room]; float comb_low[2][4]; int comb_at[2][4];
              float allpass[2][2][allpass_room]; int allpass_at[2][2]; };

struct mix_state {
    noise_source noise;
    echo_line echo;
    room reverb;
    float dc_in[2], dc_out[2];
    std::uint32_t fade_left, fade_length;  // frames; fade_length 0: no fade
};

mix_state desk;  // the program's one mix
std::uint32_t voice_mask = score_all_voices;

// The dry mix of one frame, each side, and the sends.
struct bus_frame { float left, right, room, echo; };

inline bool heard(std::uint32_t voice) { return (voice_mask & voice) != 0; }

// A voice placed by its levels alone.
inline void mix_mono(bus_frame& b, std::uint32_t voice, float x, const voice_level& v)
{
    if (!heard(voice)) return;
    b.left += x * v.left;
    b.right += x * v.right;
    b.room += x * v.room;
    b.echo += x * v.echo;
}

// A voice with a sound of its own each side.
inline void mix_stereo(bus_frame& b, std::uint32_t voice, float l, float r, const voice_level& v)
{
    if (!heard(voice)) return;
    b.left += l * v.left;
    b.right += r * v.right;
    b.room += (l + r) * v.room;
    b.echo += (l + r) * v.echo;
}

// A voice at place, 0 (left) to 1 (right).
inline void mix_panned(bus_frame& b, std::uint32_t voice, float x, float place, const voice_level& v)
{
    if (!heard(voice)) return;
    b.left += x * v.left * (1.0f - place);
    b.right += x * v.right * place;
    b.room += x * v.room;
    b.echo += x * v.echo;
}

// The voices heard, summed in this order: a sum of floats depends on it.
// A zero send adds nothing, not even a sign, to a sum that began at +0.
inline bus_frame mix_voices(const drum_frame& d, const voice_frame& v)
{
    bus_frame b = {0.0f, 0.0f, 0.0f, 0.0f};
    mix_mono(b, score_kick, d.kick, levels.kick);
    mix_mono(b, score_snare, d.snare, levels.snare);
    mix_mono(b, score_hat, d.hat, levels.hat);
    mix_stereo(b, score_crash, d.crash_left, d.crash_right, levels.crash);
    mix_mono(b, score_bass, v.bass, levels.bass);
    mix_stereo(b, score_pad, v.pad_left, v.pad_right, levels.pad);
    mix_panned(b, score_arp, v.arp, v.arp_place, levels.arp);
    mix_mono(b, score_lead, v.lead, levels.lead);
    mix_stereo(b, score_stab, v.stab_left, v.stab_right, levels.stab);
    mix_mono(b, score_zap, v.zap, levels.zap);
    mix_stereo(b, score_riser, v.riser_left, v.riser_right, levels.riser);
    mix_mono(b, score_boom, v.boom, levels.boom);
    mix_panned(b, score_chime, v.chime, v.chime_pan, levels.chime);
    return b;
}

// Ping-pong echo of three eighth notes, darkened on each return.
inline void echo_next(echo_line& e, float in, float& l, float& r)
{
    float* const left = e.line[0];
    float* const right = e.line[1];
    const float out_l = left[e.at], out_r = right[e.at];
    e.low[0] += (out_r - e.low[0]) * echo_darkening;
    e.low[1] += (out_l - e.low[1]) * echo_darkening;
    left[e.at] = in + e.low[0] * echo_feedback;
    right[e.at] = e.low[1] * echo_feedback;
    if (++e.at == echo_frames) e.at = 0;
    l += out_l;
    r += out_r;
}

// A small room: four damped combs and two all-passes a side.
inline void room_next(room& m, float in, float& l, float& r)
{
    in += 1.0e-18f;  // keeps the tails out of denormals
    for (int side = 0; side < 2; ++side) {
        float sum = 0.0f;
        for (int i = 0; i < 4; ++i) {
            float* line = m.comb[side][i];
            int& at = m.comb_at[side][i];
            const float out = line[at];
            m.comb_low[side][i] = out * comb_fresh + m.comb_low[side][i] * comb_kept;
            line[at] = in + m.comb_low[side][i] * comb_feedback;
            if (++at == comb_lengths[i] + side * stereo_spread) at = 0;
            sum += out;
        }
        for (int i = 0; i < 2; ++i) {
            float* line = m.allpass[side][i];
            int& at = m.allpass_at[side][i];
            const float delayed = line[at];
            line[at] = sum + delayed * allpass_feedback;
            sum = delayed - sum;
            if (++at == allpass_lengths[i] + side * stereo_spread) at = 0;
        }
        (side == 0 ? l : r) += sum * levels.room_return;
    }
}

// Above the knee the level bends smoothly towards the ceiling, never past it.
inline float soft_limit(float x)
{
    const float a = x < 0.0f ? -x : x;
    if (a <= limit_knee) return x;
    const float room_left = limit_ceiling - limit_knee;
    float u = (a - limit_knee) / room_left;
    u = u >= 3.0f ? 1.0f : u * (27.0f + u * u) / (27.0f + 9.0f * u * u);  // tanh
    const float y = limit_knee + room_left * u;
    return x < 0.0f ? -y : y;
}

inline std::int16_t to_sample(float x)
{
    const float v = x * 32767.0f;
    return static_cast<std::int16_t>(static_cast<int>(v + (v < 0.0f ? -0.5f : 0.5f)));
}

// The master level (falling with the fade), the DC blocker and the limiter:
// one frame's two samples.
inline void master_next(mix_state& s, float l, float r, std::int16_t* out)
{
    float gain = levels.master;
    if (s.fade_length > 0) {
        const float left = static_cast<float>(s.fade_left) / static_cast<float>(s.fade_length);
        gain *= left * left;
        if (s.fade_left > 0) --s.fade_left;
    }
    const float in[2] = {l * gain, r * gain};
    for (int c = 0; c < 2; ++c) {
        const float y = in[c] - s.dc_in[c] + dc_pole * s.dc_out[c];
        s.dc_in[c] = in[c];
        s.dc_out[c] = y;
        out[c] = to_sample(soft_limit(y));
    }
}

void render_frames(mix_state& s, std::int16_t* out, std::uint32_t frames)
{
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float na = noise_next(s.noise);
        const float nb = noise_next(s.noise);
        drum_frame drums;
        voice_frame voices;
        drums_next(na, nb, drums);
        voices_next(na, nb, voices);
        bus_frame b = mix_voices(drums, voices);
        echo_next(s.echo, b.echo, b.left, b.right);
        room_next(s.reverb, b.room, b.left, b.right);
        master_next(s, b.left, b.right, out + 2 * static_cast<std::size_t>(i));
    }
}

}  // namespace

void mix_reset()
{
    std::memset(&desk, 0, sizeof desk);
    desk.noise.state = 0x1badf00du;
    drums_reset();
    voices_reset();
}

void mix_set_voices(std::uint32_t mask) { voice_mask = mask; }

void mix_render(std::int16_t* out, std::uint32_t frames) { render_frames(desk, out, frames); }

void mix_fade_out(std::uint32_t frames)
{
    desk.fade_left = frames;
    desk.fade_length = frames;
}
