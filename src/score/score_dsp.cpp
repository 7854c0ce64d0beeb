// The notes' frequencies, worked out once when the program is built.
#include "score/score_dsp.h"

namespace {

struct pitch_table { float hz[128]; };

constexpr pitch_table make_pitches()
{
    constexpr double semitone = 1.0594630943592952646;
    pitch_table t{};
    for (int m = 0; m < 128; ++m) {
        double f = 440.0;
        for (int i = 69; i < m; ++i) f *= semitone;
        for (int i = m; i < 69; ++i) f /= semitone;
        t.hz[m] = static_cast<float>(f);
    }
    return t;
}

constexpr pitch_table pitches = make_pitches();

}  // namespace

float note_hz(int note) { return pitches.hz[note]; }
