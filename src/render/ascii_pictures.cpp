// The eight still pictures as constant row tables, and drawing them. Rows
// are shared: every picture refers to one blank row (79 characters in the two
// credits, whose terminating zero is drawn as character 0 in column 79).
#include "render/ascii_pictures.h"

#include <cstddef>
#include <cstdio>

#include "base/process_exit.h"

ascii_picture start_picture, title_picture, word_jeg_picture, word_ser_picture,
    word_horer_picture, credit_first_picture, credit_second_picture, logo_picture;

namespace {

constexpr char blank_row[] =
    "................................................................................";
// The credits' rows are one short on purpose: column 79 shows their
// terminating zero as character 0.
constexpr char blank_row_79[] =
    "...............................................................................";
constexpr char title_bar_row[] =
    "....88888888888.................................................................";

// HIT ALT+ENTER / THEN SPACE.
constexpr const char* start_rows[screen_height] = {
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    "....8...8.8.88888.....888..8....88888......88888.8...8.88888.88888.8888.........",
    "....8...8.8...8......8...8.8......8....8...8.....88..8...8...8.....8...8........",
    "....88888.8...8......88888.8......8..88888.8888..8.8.8...8...8888..8888.........",
    "....8...8.8...8......8...8.8......8....8...8.....8..88...8...8.....8...8........",
    "....8...8.8...8......8...8.88888..8........88888.8...8...8...88888.8...8........",
    blank_row,
    blank_row,
    "........88888.8...8.88888.8...8.....88888..8888...888...8888.88888..............",
    "..........8...8...8.8.....88..8....8.......8...8.8...8.8.....8..................",
    "..........8...88888.8888..8.8.8.....88888..8888..88888.8.....8888...............",
    "..........8...8...8.8.....8..88..........8.8.....8...8.8.....8..................",
    "..........8...8...8.88888.8...8.....88888..8.....8...8..8888.88888..............",
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
};

// The title logo (a bar over GLIMFANT, rows 5-11) and FIRE (rows 14-22); drawn
// black with the '8' cells transparent it masks the fire.
constexpr const char* title_rows[screen_height] = {
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    title_bar_row,
    title_bar_row,
    ".....888888..88......88..88...88..8888888....888....88...88..88888888...........",
    "....88.......88......88..888.888..88........88.88...888..88.....88..............",
    "....88..888..88......88..8888888..888888...88...88..8888.88.....88..............",
    "....88...88..88......88..88.8.88..88.......8888888..88.8888.....88..............",
    ".....888888..888888..88..88...88..88.......88...88..88..888.....88..............",
    blank_row,
    blank_row,
    "............................8888888888...8888...8888888888.....88888888888......",
    "...........................8888888888...8888...888888888888...88888888888.......",
    "...........................8888.........8888...8888.....8888..8888..............",
    "...........................8888.........8888...8888....8888...8888..............",
    "...........................888888888....8888...8888..8888.....888888888.........",
    "...........................88888888.....8888...8888...8888....8888888...........",
    "...........................8888.........8888...8888....8888...8888..............",
    "...........................8888.........8888...8888.....8888..888888888888......",
    "..........................8888.........8888...8888.......8888.88888888888.......",
    blank_row,
    blank_row,
};

// JEG, top left.
constexpr const char* word_jeg_rows[screen_height] = {
    blank_row,
    "........99..99999...9999........................................................",
    ".......99..99.....99............................................................",
    "......99..9999...99.9999........................................................",
    ".99..99..99.....99...99.........................................................",
    "..9999..99999....9999...........................................................",
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
};

// SER, right edge.
constexpr const char* word_ser_rows[screen_height] = {
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    ".....................................................99999...999999..99999......",
    ".....................................................99.......99......99..99....",
    ".......................................................99999...99999...99999....",
    "............................................................99..99......99..99..",
    ".........................................................99999...999999..99...99",
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
};

// HORER, bottom left.
constexpr const char* word_horer_rows[screen_height] = {
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    blank_row,
    ".....99...99...9999....99999....999999..999999..................................",
    "....99...99..99...99..99..99...99......99...99..................................",
    "...9999999..99...99..99999....99999...999999....................................",
    "..99...99..99...99..99..99...99......99...99....................................",
    ".99...99....9999...99....99.999999..99.....99...................................",
    blank_row,
};

// BLIXTORN in '#' shaded with ':', the B's stem running on into a line
// under the name, and "code" in small letters. Rows of 79.
constexpr const char* credit_first_rows[screen_height] = {
    blank_row_79,
    blank_row_79,
    blank_row_79,
    blank_row_79,
    blank_row_79,
    "#######...##........########..##....##..########...######...#######...###...##.",
    "########..##:.......########:.##:...##:.########:.########..########..###:..##:",
    "##::::##:.##:........::##::::..##..##::..::##::::.##::::##:.##::::##:.####..##:",
    "##:...##:.##:..........##:.....##:.##:.....##:....##:...##:.##:...##:.####:.##:",
    "##:..###:.##:..........##:......####::.....##:....##:...##:.##:..###:.##:##.##:",
    "######:::.##:..........##:.......##::......##:....##:...##:.#######::.##:##:##:",
    "##:::###..##:..........##:......####.......##:....##:...##:.######::..##:.####:",
    "##:...##:.##:..........##:.....##::##......##:....##:...##:.##::##:...##:.####:",
    "##:...##:.##:..........##:.....##:.##:.....##:....##:...##:.##:..##...##:..###:",
    "########:.########..########..##::..##.....##:....########:.##:...##..##:..###:",
    "#######::.########:.########:.##:...##:....##:.....######::.##:...##:.##:...##:",
    "##::::::...::::::::..::::::::..::....::.....::......::::::...::....::..::....::",
    "##:............................................................................",
    "###########################################...#####..######..#####...#####.....",
    ".:::::::::::::::::::::::::::::::::::::::::::..##.....##..##..##..##..####......",
    "..............................................#####..######..#####...#####.....",
    blank_row_79,
    blank_row_79,
    blank_row_79,
    blank_row_79,
};

// QUILLBUK and "music" in small letters. Rows of 79.
constexpr const char* credit_second_rows[screen_height] = {
    blank_row_79,
    blank_row_79,
    blank_row_79,
    blank_row_79,
    blank_row_79,
    "...######...##....##..####..##........##........#######...##....##..##....##...",
    "..########..##....##...##...##........##........########..##....##..##...##....",
    "..##....##..##....##...##...##........##........##....##..##....##..##..##.....",
    "..##....##..##....##...##...##........##........##....##..##....##..##.##......",
    "..##....##..##....##...##...##........##........#######...##....##..####.......",
    "..##....##..##....##...##...##........##........#######...##....##..#####......",
    "..##.##.##..##....##...##...##........##........##....##..##....##..##.##......",
    "..##..####..##....##...##...##........##........##....##..##....##..##..##.....",
    "..########..########...##...########..########..########..########..##...##....",
    "...######....######...####..########..########..#######....######...##....##...",
    "........##.....................................................................",
    blank_row_79,
    "....................................................#####.#.#..##.###..##......",
    "....................................................#.#.#.#.#..#...#..#........",
    "....................................................#.#.#.###.##..###..##......",
    blank_row_79,
    blank_row_79,
    blank_row_79,
    blank_row_79,
    blank_row_79,
};

// MURVALDE under a walled castle; the two lit windows are the only '#' cells.
constexpr const char* logo_rows[screen_height] = {
    "......o88o.o88o.o88o................................o88o.o88o.o88o..............",
    "......o88ooo88ooo88o................................o88ooo88ooo88o..............",
    "......o888888888888o................................o888888888888o..............",
    "......o888o88888o88o................................o88o88888o888o..............",
    "......o88888o888888o..o88o..o88o..o88o..o88o..o88o..o888888o88888o..............",
    "......o8888o#o88888oooo88oooo88oooo88oooo88oooo88oooo88888o#o8888o..............",
    "......o8888o.o88888o88888888888888888888888888888888o88888o.o8888o..............",
    "......o8888ooo88888o888o88888o888888888888o88888o888o88888ooo8888o..............",
    "......o888888888888o88888888888888oooo88888888888888o888888888888o..............",
    "......o888888o88888o888888o88888oo....oo88888o888888o88888o888888o..............",
    "......o888888888888o88888888888o........o88888888888o888888888888o..............",
    "......o888o88888o88o888o8888888o........o8888888o888o88o88888o888o..............",
    "......o888888888888o88888888888o........o88888888888o888888888888o..............",
    "......oooooooooooooooooooooooooo........oooooooooooooooooooooooooo..............",
    blank_row,
    ".......88o..o88.88..88.88888o.88..88..o88o..88.....8888o..888888................",
    ".......888oo888.88..88.88..o8.88..88.o8888o.88.....88.o8o.88....................",
    ".......88o88o88.88..88.88..o8.88..88.88..88.88.....88..88.88....................",
    ".......88.oo.88.88..88.88888o.88..88.88..88.88.....88..88.88888.................",
    ".......88....88.88..88.88o8o..o8..8o.888888.88.....88..88.88....................",
    ".......88....88.88..88.88.o8o..8oo8..88..88.88.....88..88.88....................",
    ".......88....88.o8888o.88..88..o88o..88..88.88.....88.o8o.88....................",
    ".......88....88..o88o..88..88...88...88..88.888888.8888o..888888................",
    ".......ooooooooooooooooooooooooooooooooooooooooooooooooooooooooo................",
    blank_row,
};
constexpr std::size_t length(const char* row)
{
    std::size_t n = 0;
    while (row[n] != 0) ++n;
    return n;
}

constexpr bool all_rows_of_length(const char* const (&rows)[screen_height], std::size_t n)
{
    for (const char* row : rows)
        if (length(row) != n) return false;
    return true;
}

static_assert(all_rows_of_length(start_rows, 80));
static_assert(all_rows_of_length(title_rows, 80));
static_assert(all_rows_of_length(word_jeg_rows, 80));
static_assert(all_rows_of_length(word_ser_rows, 80));
static_assert(all_rows_of_length(word_horer_rows, 80));
static_assert(all_rows_of_length(credit_first_rows, 79));
static_assert(all_rows_of_length(credit_second_rows, 79));
static_assert(all_rows_of_length(logo_rows, 80));

void set_rows(ascii_picture& picture, const char* const (&rows)[screen_height])
{
    for (int r = 0; r < screen_height; ++r) picture.rows[r] = rows[r];
}

constexpr std::size_t row_bytes = screen_width;  // per row in the pictures file

// The order of the pictures file.
const ascii_picture* const all_pictures[] = {
    &start_picture,      &title_picture,        &word_jeg_picture,      &word_ser_picture,
    &word_horer_picture, &credit_first_picture, &credit_second_picture, &logo_picture,
};

}  // namespace

void picture_setup()
{
    set_rows(start_picture, start_rows);
    set_rows(title_picture, title_rows);
    set_rows(word_jeg_picture, word_jeg_rows);
    set_rows(word_ser_picture, word_ser_rows);
    set_rows(word_horer_picture, word_horer_rows);
    set_rows(credit_first_picture, credit_first_rows);
    set_rows(credit_second_picture, credit_second_rows);
    set_rows(logo_picture, logo_rows);
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

bool write_pictures_file(const char* path)
{
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    bool written = true;
    for (const ascii_picture* picture : all_pictures)
        for (const char* row : picture->rows) {
            GLIM_ASSERT(row != nullptr);  // picture_setup has run
            // A credit row's 80th byte is its terminating zero, as drawn.
            if (std::fwrite(row, 1, row_bytes, file) != row_bytes) written = false;
        }
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}
