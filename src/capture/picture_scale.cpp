#include "capture/picture_scale.h"

#include <cstddef>
#include <cstring>

#include "base/process_exit.h"

namespace {

constexpr int vga_lines = image_height;  // the integer scale's unit

int at_most(int value, int limit) { return value < limit ? value : limit; }

// The largest rectangle of shape across : down within width x height, at least 1 x 1.
picture_place largest(int across, int down, int width, int height)
{
    picture_place p{};
    if (static_cast<long long>(width) * down >= static_cast<long long>(height) * across) {
        p.height = height;
        p.width = at_most(static_cast<int>((static_cast<long long>(height) * across + down / 2) / down), width);
    } else {
        p.width = width;
        p.height = at_most(static_cast<int>((static_cast<long long>(width) * down + across / 2) / across), height);
    }
    if (p.width < 1) p.width = 1;
    if (p.height < 1) p.height = 1;
    return p;
}

// The taps of size outputs over source inputs: each output pixel covers
// source / size source pixels; it mixes two only where it straddles their
// edge. Smaller than the source, each output pixel takes the one at its centre.
void make_taps(picture_tap* taps, int size, int source)
{
    for (int d = 0; d < size; ++d) {
        picture_tap& tap = taps[d];
        if (size < source) {
            tap.first = static_cast<std::uint16_t>((2 * d + 1) * source / (2 * size));
            tap.next_weight = 0;
            continue;
        }
        // In 1/size of a source pixel: the output pixel spans [left, left + source).
        const int left = d * source;
        const int first = left / size;
        const int edge = (first + 1) * size;
        const int over = left + source - edge;
        tap.first = static_cast<std::uint16_t>(first);
        tap.next_weight = over > 0 ? static_cast<std::uint16_t>((over * 256 + source / 2) / source) : 0;
    }
}

// a and b mixed channel by channel, b weighing weight / 256.
std::uint32_t mix(std::uint32_t a, std::uint32_t b, std::uint32_t weight)
{
    const std::uint32_t keep = 256 - weight;
    const std::uint32_t odd = ((a & 0x00FF00FFu) * keep + (b & 0x00FF00FFu) * weight) >> 8 & 0x00FF00FFu;
    const std::uint32_t even = ((a & 0xFF00FF00u) >> 8) * keep + ((b & 0xFF00FF00u) >> 8) * weight;
    return odd | (even & 0xFF00FF00u);
}

// Source row r scaled across into one of the two rows kept; returns it.
const std::uint32_t* scaled_row(picture_scaler& s, int r, const std::uint8_t* pixels, const std::uint32_t* colours)
{
    for (int i = 0; i < 2; ++i)
        if (s.row_source[i] == r) return s.row[i];
    // Rows are asked for in order, so the one kept for longer is the older.
    const int i = s.row_source[0] < s.row_source[1] ? 0 : 1;
    const std::uint8_t* source = pixels + r * image_width;
    std::uint32_t* row = s.row[i];
    for (int d = 0; d < s.width; ++d) {
        const picture_tap tap = s.x[d];
        const std::uint32_t a = colours[source[tap.first]];
        row[d] = tap.next_weight ? mix(a, colours[source[tap.first + 1]], tap.next_weight) : a;
    }
    s.row_source[i] = r;
    return row;
}

}  // namespace

picture_place place_picture(picture_scale scale, int window_width, int window_height)
{
    const int w = at_most(window_width < 1 ? 1 : window_width, scaled_max);
    const int h = at_most(window_height < 1 ? 1 : window_height, scaled_max);
    picture_place p = largest(4, 3, w, h);
    if (scale == scale_integer) {
        for (int k = h / vga_lines; k > 0; --k) {
            const int width = (4 * vga_lines * k + 1) / 3;
            if (width > w) continue;
            p.width = width;
            p.height = vga_lines * k;
            break;
        }
    } else if (scale == scale_square) {
        const int k = at_most(w / image_width, h / image_height);
        if (k > 0) {
            p.width = image_width * k;
            p.height = image_height * k;
        } else {
            p = largest(image_width, image_height, w, h);
        }
    }
    p.x = (window_width - p.width) / 2;
    p.y = (window_height - p.height) / 2;
    return p;
}

void scaler_init(picture_scaler& scaler, int width, int height)
{
    GLIM_ASSERT(width >= 1 && width <= scaled_max && height >= 1 && height <= scaled_max);
    scaler.width = width;
    scaler.height = height;
    make_taps(scaler.x, width, image_width);
    make_taps(scaler.y, height, image_height);
    scaler.row_source[0] = scaler.row_source[1] = -1;
}

void scale_picture(picture_scaler& scaler, const std::uint8_t* pixels, const std::uint32_t* colours,
                   std::uint32_t* out, int pitch)
{
    // The rows kept are of the last picture.
    scaler.row_source[0] = scaler.row_source[1] = -1;
    const std::size_t row_bytes = static_cast<std::size_t>(scaler.width) * sizeof(std::uint32_t);
    for (int d = 0; d < scaler.height; ++d) {
        std::uint32_t* line = reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(out) +
                                                               static_cast<std::ptrdiff_t>(d) * pitch);
        const picture_tap tap = scaler.y[d];
        const std::uint32_t* a = scaled_row(scaler, tap.first, pixels, colours);
        if (!tap.next_weight) {
            std::memcpy(line, a, row_bytes);
            continue;
        }
        const std::uint32_t* b = scaled_row(scaler, tap.first + 1, pixels, colours);
        for (int x = 0; x < scaler.width; ++x) line[x] = mix(a[x], b[x], tap.next_weight);
    }
}
