// The still pictures: full-screen ASCII art drawn over the frame with one
// colour pair and one transparent character, and used as stencils by the fire.
#pragma once
#include <cstdint>

#include "render/ascii_render.h"

// 25 row references, top row first; exactly the first 80 characters of a row
// are drawn (a 79-character row's terminator is drawn as character 0).
struct ascii_picture {
    const char* rows[screen_height];
};

extern ascii_picture start_picture;          // "HIT ALT+ENTER / THEN SPACE"
extern ascii_picture title_picture;          // title logo and FIRE; masks the fire
extern ascii_picture word_jeg_picture;       // beat word, top left
extern ascii_picture word_ser_picture;       // beat word, right edge
extern ascii_picture word_horer_picture;     // beat word, bottom left
extern ascii_picture credit_first_picture;   // first credit, rows of 79
extern ascii_picture credit_second_picture;  // second credit, rows of 79
extern ascii_picture logo_picture;           // the group's logo

// Fills the row references of all eight pictures; once, at start-up.
void picture_setup();

// Stores (background * 16 + foreground) * 256 + ch for every character ch of
// the picture that differs from transparent; nothing else is tested.
void draw_picture(const ascii_picture& picture, int foreground, int background,
                  std::uint8_t transparent);

// Writes the eight pictures, 25 rows x 80 bytes each as drawn (a credit row
// ends with byte 0), in the order start, title, jeg, ser, horer, credit_first,
// credit_second, logo: 16000 bytes. After picture_setup. False on an I/O error.
bool write_pictures_file(const char* path);
