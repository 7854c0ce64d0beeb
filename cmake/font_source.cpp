// Writes the glyphs of code pages 437, 850 and 865 as C++ source, read from
// a .hex font by the code that reads it for --png (font_load), for a build
// that carries its font instead of reading it at run time: the Windows
// window, whose program is one file with nothing beside it.
// Usage: font_source FONT.hex OUTPUT.cpp
#include <cstdio>

#include "capture/cell_font.h"

namespace {

constexpr int codepages[] = {437, 850, 865};  // the order of window_fonts (host/windows/window_fonts.h)

cell_font fonts[3];

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: font_source FONT.hex OUTPUT.cpp\n", stderr);
        return 2;
    }
    char why[512];
    for (int i = 0; i < 3; ++i)
        if (!font_load(fonts[i], argv[1], codepages[i], why, sizeof why)) {
            std::fprintf(stderr, "font_source: %s\n", why);
            return 1;
        }
    std::FILE* f = std::fopen(argv[2], "w");
    bool ok = f != nullptr;
    if (ok) {
        std::fputs("// Made when the program was built, from the glyphs of a .hex font\n"
                   "// (cmake/font_source.cpp); every row of a glyph is one byte, top first.\n"
                   "#include \"host/windows/window_fonts.h\"\n\nconst cell_font window_fonts[3] = {\n", f);
        for (int i = 0; i < 3; ++i) {
            std::fprintf(f, "    {{  // code page %d\n", codepages[i]);
            for (int c = 0; c < 256; ++c) {
                std::fputs("        {", f);
                for (int y = 0; y < glyph_height; ++y) std::fprintf(f, "0x%02X%s", fonts[i].rows[c][y], y + 1 < glyph_height ? "," : "");
                std::fputs("},\n", f);
            }
            std::fputs("    }},\n", f);
        }
        std::fputs("};\n", f);
        ok = !std::ferror(f);
    }
    if (!f || std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "font_source: cannot write '%s'\n", argv[2]);
        std::remove(argv[2]);
        return 1;
    }
    return 0;
}
