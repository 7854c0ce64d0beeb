// The show's script: fifteen scenes in a fixed order, each a list of effect
// calls made once a frame, moving on when the music time passes the scene's
// end. Times are music milliseconds, beats counted as show_timeline.h counts
// them (beat_time).
#pragma once

#include "timeline/show_timeline.h"

extern const char* const greeting_texts[greeting_count];
extern const char scroll_text[];

// Runs the current scene's body on the driver's demo and, within the same
// frame, every scene whose start the music time has already passed.
void run_scene();
