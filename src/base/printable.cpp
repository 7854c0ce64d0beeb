#include "base/printable.h"

#include <cstdio>
#include <cstring>

void printable_copy(const char* text, char* out, int size)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    int n = 0;
    while (*p) {
        // The length of a well-formed UTF-8 character at p that is not a C1 control; 0 otherwise.
        int length = *p >= 0x20 && *p < 0x7F ? 1 : 0;
        if (*p >= 0xC2 && *p <= 0xF4) {
            const int want = *p < 0xE0 ? 2 : *p < 0xF0 ? 3 : 4;
            const unsigned char low = *p == 0xE0 ? 0xA0 : *p == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = *p == 0xED ? 0x9F : *p == 0xF4 ? 0x8F : 0xBF;
            bool ok = p[1] >= low && p[1] <= high && !(*p == 0xC2 && p[1] <= 0x9F);
            for (int i = 2; ok && i < want; ++i) ok = p[i] >= 0x80 && p[i] <= 0xBF;
            length = ok ? want : 0;
        }
        const int room = length ? length : 4;
        if (n + room + 4 > size) {  // keep room for "..." and the terminator
            if (size >= 4) std::memcpy(out + n, "...", 4);
            else if (size > 0) out[0] = '\0';
            return;
        }
        if (length) {
            std::memcpy(out + n, p, static_cast<std::size_t>(length));
            n += length;
            p += length;
        } else {
            std::snprintf(out + n, 5, "\\x%02X", *p++);
            n += 4;
        }
    }
    if (size > 0) out[n] = '\0';
}

const char* printable(const char* text)
{
    // A path of 4096 bytes, each one escaped, fits.
    static char shown[4 * 4096 + 8];
    printable_copy(text, shown, sizeof shown);
    return shown;
}
