#include "render/ascii_pictures.h"

#include <cstdio>
#include <initializer_list>

namespace {
const char blank_row[] =
    "................................................................................";
}

ascii_picture start_picture, title_picture, word_jeg_picture, word_ser_picture,
    word_horer_picture, credit_first_picture, credit_second_picture, logo_picture;

void picture_setup()
{
    for (ascii_picture* p : {&start_picture, &title_picture, &word_jeg_picture, &word_ser_picture,
                             &word_horer_picture, &credit_first_picture, &credit_second_picture,
                             &logo_picture})
        for (auto& row : p->rows) row = blank_row;
}

void draw_picture(const ascii_picture& picture, int foreground, int background,
                  std::uint8_t transparent)
{
    for (int r = 0; r < screen_height; ++r)
        for (int c = 0; c < screen_width; ++c) {
            const auto ch = static_cast<std::uint8_t>(picture.rows[r][c]);
            if (ch != transparent)
                screen_buffer[r * screen_width + c] = make_cell(ch, foreground, background);
        }
}

bool write_pictures_file(const char*) { return false; }
