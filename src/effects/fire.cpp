// The fire: heat diffusion over a 240 x 50 field, three field columns and two
// field rows to a text cell. Every frame the field is blurred and moved up one
// row in place, the bottom row gets fresh sparks, and each 3 x 2 block is
// drawn as one cell whose character and colour follow its average heat.
#include "effects/fire.h"

#include <cmath>
#include <cstring>

#include "base/process_exit.h"
#include "base/random.h"

std::uint8_t fire_field[fire_height * fire_width];
double fire_decay, fire_decay_target, fire_decay_step;
std::int32_t fire_sparks_off;

// Black at level 0 (never drawn), then red, light red, yellow, white; the
// hottest level is black on black, so white-hot blocks show as holes.
const std::uint8_t fire_stored_palette[fire_palette_size] = {
    0x00,                                                  // 0
    0x04,                                                  // 1
    0x0C, 0x0C, 0x0C, 0x0C, 0x0C,                          // 2-6
    0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E,  // 7-15
    0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F, 0x0F,  // 16-24
    0x00,                                                  // 25
};
const std::uint8_t* fire_palette = fire_stored_palette;

namespace {

constexpr int spark_row = fire_height - 1;
constexpr int last_column = fire_width - 1;
constexpr int spark_rounds = 25;       // each: three clears, then one spark
constexpr std::uint8_t spark_heat = 255;
constexpr int block_width = 3;         // field columns per text column
constexpr int block_height = 2;        // field rows per text row

// Divisor offsets by the number of neighbours a field cell has.
constexpr double interior_k = 8.0;
constexpr double edge_k = 5.0;
constexpr double corner_k = 3.0;

std::uint8_t& heat(int y, int x) { return fire_field[y * fire_width + x]; }

// The low 8 bits of the quotient truncated toward zero. Quotients above 255
// (a negative decay) wrap on purpose: 264 is stored as 8. Quotients beyond
// the int range or not finite, which no decay of the show reaches, keep the
// same rule through fmod, or give 0.
std::uint8_t low_byte_of_quotient(double q)
{
    if (std::fabs(q) < 2147483648.0) return static_cast<std::uint8_t>(static_cast<int>(q));
    if (!std::isfinite(q)) return 0;
    return static_cast<std::uint8_t>(static_cast<std::int64_t>(std::fmod(std::trunc(q), 256.0)));
}

// The blur divides every cell's neighbour sum by (decay + k); a table of the
// quotients for each possible sum, rebuilt when the decay changes, replaces
// a division per cell with a lookup (the same double division, so the same bits).
struct quotient_tables {
    double decay;  // the decay the tables hold
    bool built;
    std::uint8_t interior[8 * 255 + 1];  // k = 8
    std::uint8_t edge[5 * 255 + 1];      // k = 5
    std::uint8_t corner[3 * 255 + 1];    // k = 3
};
quotient_tables quotients;

void fill_quotients(std::uint8_t* table, int max_sum, double k)
{
    const double divisor = quotients.decay + k;
    for (int sum = 0; sum <= max_sum; ++sum) table[sum] = low_byte_of_quotient(sum / divisor);
}

void update_quotients()
{
    if (quotients.built && quotients.decay == fire_decay) return;
    quotients.decay = fire_decay;
    quotients.built = true;
    fill_quotients(quotients.interior, 8 * 255, interior_k);
    fill_quotients(quotients.edge, 5 * 255, edge_k);
    fill_quotients(quotients.corner, 3 * 255, corner_k);
}

void move_decay()
{
    // Tested before subtracting, so the decay stops at the first value at or
    // past the target and may overshoot by less than one step.
    if (fire_decay_step > 0.0 && fire_decay > fire_decay_target) fire_decay -= fire_decay_step;
    else if (fire_decay_step <= 0.0 && fire_decay < fire_decay_target) fire_decay -= fire_decay_step;
}

// Every blurred value depends on the one just stored to its left, a chain of
// lookups along the row; rows are taken four at a time (the loop below names
// them) so that four chains run side by side.
constexpr int rows_together = 4;
static_assert((spark_row - 1) % rows_together == 0);

// For field row y, the neighbour sum of every column without the upper-left
// neighbour, which the blur adds once it has been stored anew.
void sum_old_neighbours(int y, std::uint16_t (&rest)[fire_width])
{
    const std::uint8_t* up = &heat(y - 1, 0);
    const std::uint8_t* mid = &heat(y, 0);
    const std::uint8_t* down = &heat(y + 1, 0);
    // Whole rows of independent additions over padded copies, so that the
    // compiler can do them a vector at a time; the two ends are redone below.
    std::uint8_t up_left[fire_width];  // up[x - 1], 0 left of the field
    std::uint16_t column[fire_width + 2];  // column[x + 1] = up[x] + mid[x] + down[x]
    up_left[0] = 0;
    std::memcpy(up_left + 1, up, fire_width - 1);
    column[0] = column[fire_width + 1] = 0;
    for (int x = 0; x < fire_width; ++x)
        column[x + 1] = static_cast<std::uint16_t>(up[x] + mid[x] + down[x]);
    for (int x = 0; x < fire_width; ++x)
        rest[x] = static_cast<std::uint16_t>(column[x] + column[x + 1] + column[x + 2] - mid[x] -
                                             up_left[x]);
    rest[0] = static_cast<std::uint16_t>(up[0] + up[1] + mid[1] + down[0] + down[1]);
    rest[last_column] = static_cast<std::uint16_t>(up[239] + mid[238] + down[238] + down[239]);
}

// In place: (y, x) is written to (y - 1, x) at once, so the next cell of the
// row sees the new value at its upper-left neighbour and the previous
// frame's values at all the others. Those others can therefore be summed
// ahead, for a group of rows before any of the group is written: the group's
// writes land on rows that its sums have already read or never read.
void blur_and_rise()
{
    update_quotients();
    const std::uint8_t* const edge = quotients.edge;
    const std::uint8_t* const interior = quotients.interior;
    std::uint16_t rest[rows_together][fire_width];
    for (int y = 1; y < spark_row; y += rows_together) {
        for (int g = 0; g < rows_together; ++g) sum_old_neighbours(y + g, rest[g]);
        std::uint8_t* const up0 = &heat(y - 1, 0);
        std::uint8_t* const up1 = &heat(y, 0);
        std::uint8_t* const up2 = &heat(y + 1, 0);
        std::uint8_t* const up3 = &heat(y + 2, 0);
        const std::uint16_t* const r0 = rest[0];
        const std::uint16_t* const r1 = rest[1];
        const std::uint16_t* const r2 = rest[2];
        const std::uint16_t* const r3 = rest[3];
        unsigned left0 = up0[0] = edge[r0[0]];
        unsigned left1 = up1[0] = edge[r1[0]];
        unsigned left2 = up2[0] = edge[r2[0]];
        unsigned left3 = up3[0] = edge[r3[0]];
        for (int x = 1; x < last_column; ++x) {
            up0[x] = static_cast<std::uint8_t>(left0 = interior[left0 + r0[x]]);
            up1[x] = static_cast<std::uint8_t>(left1 = interior[left1 + r1[x]]);
            up2[x] = static_cast<std::uint8_t>(left2 = interior[left2 + r2[x]]);
            up3[x] = static_cast<std::uint8_t>(left3 = interior[left3 + r3[x]]);
        }
        up0[last_column] = edge[left0 + r0[last_column]];
        up1[last_column] = edge[left1 + r1[last_column]];
        up2[last_column] = edge[left2 + r2[last_column]];
        up3[last_column] = edge[left3 + r3[last_column]];
    }
    // The spark row has no row below it: five neighbours inside, three at the ends.
    std::uint8_t* up = &heat(spark_row - 1, 0);
    const std::uint8_t* mid = &heat(spark_row, 0);
    std::uint16_t* sums = rest[0];
    for (int x = 1; x < last_column; ++x)
        sums[x] = static_cast<std::uint16_t>(up[x] + up[x + 1] + mid[x - 1] + mid[x + 1]);
    unsigned left = quotients.corner[up[0] + up[1] + mid[1]];
    up[0] = static_cast<std::uint8_t>(left);
    for (int x = 1; x < last_column; ++x)
        up[x] = static_cast<std::uint8_t>(left = quotients.edge[left + sums[x]]);
    up[last_column] = quotients.corner[left + up[last_column] + mid[238]];
}

// 0..239; 239 only for r = 32767, which relies on rand never exceeding 32767.
int spark_column() { return glim::rand() * last_column / glim::rand_max; }

void light_sparks()
{
    for (int round = 0; round < spark_rounds; ++round) {
        for (int clear = 0; clear < 3; ++clear) heat(spark_row, spark_column()) = 0;
        if (fire_sparks_off == 0) heat(spark_row, spark_column()) = spark_heat;
        else heat(spark_row, last_column) = 0;
    }
}

// Cells whose average heat is below 10 are left as they are.
void draw_fire()
{
    for (int r = 0; r < screen_height; ++r)
        for (int c = 0; c < screen_width; ++c) {
            int sum = 0;
            for (int dy = 0; dy < block_height; ++dy)
                for (int dx = 0; dx < block_width; ++dx)
                    sum += heat(r * block_height + dy, c * block_width + dx);
            const int v = sum / 6;
            const int level = v / 10;
            if (level == 0) continue;
            screen_buffer[r * screen_width + c] =
                static_cast<screen_cell>(fire_palette[level] << 8 | (136 + v / 4));
        }
}

}  // namespace

void fire_init(std::uint32_t tick_count)
{
    glim::srand(tick_count);
    fire_reset();
}

void fire_reset()
{
    std::memset(fire_field, 0, sizeof fire_field);
    fire_set_decay(1.2, 0.25, 0.002);
    fire_set_palette(fire_stored_palette);
    fire_set_sparks(0);
}

void fire_stamp_picture(const ascii_picture& picture, std::uint8_t heat_value, std::uint8_t character)
{
    for (int r = 0; r < screen_height; ++r)
        for (int c = 0; c < screen_width; ++c) {
            if (static_cast<std::uint8_t>(picture.rows[r][c]) != character) continue;
            for (int dy = 0; dy < block_height; ++dy)
                for (int dx = 0; dx < block_width; ++dx)
                    heat(r * block_height + dy, c * block_width + dx) = heat_value;
        }
}

void fire_frame()
{
    move_decay();
    blur_and_rise();
    light_sparks();
    draw_fire();
}

std::uint8_t fire_blur_value(int sum, int k)
{
    GLIM_ASSERT((k == 8 || k == 5 || k == 3) && sum >= 0 && sum <= k * 255);
    update_quotients();
    if (k == 8) return quotients.interior[sum];
    if (k == 5) return quotients.edge[sum];
    return quotients.corner[sum];
}

void fire_set_decay(double decay, double target, double step)
{
    fire_decay = decay;
    fire_decay_target = target;
    fire_decay_step = step;
}

void fire_set_sparks(int off) { fire_sparks_off = off; }

void fire_set_palette(const std::uint8_t* table) { fire_palette = table; }
