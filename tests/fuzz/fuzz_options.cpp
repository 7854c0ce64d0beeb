// The option parser over whole argument vectors (the input's zero bytes
// separate the arguments): it returns, twice in a row with the same result;
// a refusal is one printable line of UTF-8; what it accepts keeps the values
// in range.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/options.h"

namespace {

// One line of characters: no control byte, C0 or C1, and nothing that is not UTF-8.
bool printable_line(const char* text)
{
    if (!*text) return false;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        if (*p < 0x20 || *p == 0x7F) return false;
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int length = *p >= 0xC2 && *p <= 0xDF ? 2 : *p >= 0xE0 && *p <= 0xEF ? 3 : *p >= 0xF0 && *p <= 0xF4 ? 4 : 0;
        if (!length || (*p == 0xC2 && p[1] < 0xA0)) return false;
        const unsigned char low = *p == 0xE0 ? 0xA0 : *p == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = *p == 0xED ? 0x9F : *p == 0xF4 ? 0x8F : 0xBF;
        if (p[1] < low || p[1] > high) return false;
        for (int i = 2; i < length; ++i)
            if (p[i] < 0x80 || p[i] > 0xBF) return false;
        p += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> words{"glimfant"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i]) {
            word += static_cast<char>(data[i]);
        } else {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(word);

    demo_options results[2];
    bool ok[2];
    char errors[2][256];
    for (int run = 0; run < 2; ++run) {
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        errors[run][0] = '\0';
        ok[run] = parse_options(static_cast<int>(words.size()), argv.data(), results[run], errors[run], sizeof errors[run]);
    }
    if (ok[0] != ok[1] || std::strcmp(errors[0], errors[1]) != 0) std::abort();
    if (!ok[0]) {
        if (!printable_line(errors[0])) std::abort();
        return 0;
    }
    const demo_options& o = results[0];
    if (o.help || o.version) return 0;
    if (o.step_ms < 1 || o.step_ms > 1000) std::abort();
    if (o.codepage != 437 && o.codepage != 850 && o.codepage != 865) std::abort();
    if (o.color != 0 && o.color != 16 && o.color != 256 && o.color != 24) std::abort();
    if (o.audio_latency_ms < -1 || o.audio_latency_ms > 1000) std::abort();
    if (((o.png_path && !o.at_start) || o.video_path) && o.frames == 0) std::abort();  // the start picture needs no frame
    if (o.scale < 0 || o.scale > 2 || (o.fullscreen && !o.window)) std::abort();
    if (o.window && (o.headless || o.record_path)) std::abort();
    if ((o.write_score_path || o.dump_pictures_path) && (o.headless || o.record_path || o.stats_path)) std::abort();
    return 0;
}
