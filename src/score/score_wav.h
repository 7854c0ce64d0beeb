// The built-in score as a file: not for the real-time path, where the score
// is rendered into the sound device's buffers instead.
#pragma once

// Writes the whole score from its start as a 16-bit stereo WAV file at
// score_rate; false on an I/O error. Uses the one playback state, so not while
// the score plays; leaves it reset.
bool write_score_wav(const char* path);
