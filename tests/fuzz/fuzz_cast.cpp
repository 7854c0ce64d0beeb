// The asciicast writer over any terminal bytes, cut into writes anywhere: the
// file is JSON line by line (checked by a strict reader here, not the
// writer's own code), every string is UTF-8, and the output events' text
// decodes back to the characters written (folded()).
// Input: one byte for the length of the writes, then the bytes; their first
// 16 (to a zero) also serve as the header's TERM. Writes larger than the
// writer's buffer are the unit tests' (inputs that large make fuzzing crawl).
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "capture/asciicast.h"

namespace {

// Strict UTF-8 (no overlong forms, no surrogates): the length of the
// character at p (n bytes there), 0 when it is none, -1 when the n bytes are
// the valid start of one that goes on past them.
int utf8_sequence(const unsigned char* p, std::size_t n)
{
    const unsigned char b = p[0];
    const int length = b < 0x80 ? 1 : b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= n) return -1;
        const unsigned char low = i > 1 ? 0x80 : b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = i > 1 ? 0xBF : b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        if (p[i] < low || p[i] > high) return 0;
    }
    return length;
}

// ---- a strict JSON reader: true when s[at..] starts with one valid value ----
struct json_reader {
    const std::string& s;
    std::size_t at = 0;

    void skip_space() { while (at < s.size() && (s[at] == ' ' || s[at] == '\t')) ++at; }
    bool eat(char c) { skip_space(); if (at < s.size() && s[at] == c) { ++at; return true; } return false; }

    static void put_utf8(std::string& out, std::uint32_t c)
    {
        if (c < 0x80) { out += static_cast<char>(c); return; }
        if (c < 0x800) { out += static_cast<char>(0xC0 | c >> 6); }
        else if (c < 0x10000) { out += static_cast<char>(0xE0 | c >> 12); out += static_cast<char>(0x80 | (c >> 6 & 63)); }
        else { out += static_cast<char>(0xF0 | c >> 18); out += static_cast<char>(0x80 | (c >> 12 & 63)); out += static_cast<char>(0x80 | (c >> 6 & 63)); }
        out += static_cast<char>(0x80 | (c & 63));
    }

    bool hex4(std::uint32_t& v)
    {
        v = 0;
        for (int i = 0; i < 4; ++i, ++at) {
            if (at >= s.size()) return false;
            const char c = s[at];
            const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        return true;
    }

    // A string; its characters, decoded, in out.
    bool string(std::string& out)
    {
        if (!eat('"')) return false;
        while (at < s.size()) {
            const auto c = static_cast<unsigned char>(s[at]);
            if (c == '"') { ++at; return true; }
            if (c < 0x20) return false;
            if (c == '\\') {
                if (++at >= s.size()) return false;
                const char e = s[at++];
                std::uint32_t v = 0;
                switch (e) {
                case '"': case '\\': case '/': out += e; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u':
                    if (!hex4(v)) return false;
                    if (v >= 0xD800 && v <= 0xDBFF) {
                        std::uint32_t low = 0;
                        if (s.compare(at, 2, "\\u") != 0) return false;
                        at += 2;
                        if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                        v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
                    } else if (v >= 0xDC00 && v <= 0xDFFF) {
                        return false;
                    }
                    put_utf8(out, v);
                    break;
                default: return false;
                }
                continue;
            }
            const int length = utf8_sequence(reinterpret_cast<const unsigned char*>(s.data()) + at, s.size() - at);
            if (length <= 0) return false;
            out.append(s, at, static_cast<std::size_t>(length));
            at += static_cast<std::size_t>(length);
        }
        return false;
    }

    bool number()
    {
        skip_space();
        const std::size_t from = at;
        if (at < s.size() && s[at] == '-') ++at;
        if (at < s.size() && s[at] == '0') ++at;
        else if (at < s.size() && s[at] >= '1' && s[at] <= '9') while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at]))) ++at;
        else return false;
        if (at < s.size() && s[at] == '.') {
            if (++at >= s.size() || !std::isdigit(static_cast<unsigned char>(s[at]))) return false;
            while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at]))) ++at;
        }
        return at > from;
    }

    bool value(std::string* text = nullptr, int depth = 0)
    {
        skip_space();
        if (at >= s.size() || depth > 8) return false;
        std::string ignored;
        switch (s[at]) {
        case '"': return string(text ? *text : ignored);
        case '{':
            ++at;
            if (eat('}')) return true;
            do {
                if (!string(ignored) || !eat(':') || !value(nullptr, depth + 1)) return false;
            } while (eat(','));
            return eat('}');
        case '[':
            ++at;
            if (eat(']')) return true;
            do {
                if (!value(nullptr, depth + 1)) return false;
            } while (eat(','));
            return eat(']');
        default: return number();
        }
    }
};

// One "o" event: [seconds, "o", "text"]; its text appended to out.
bool output_event(const std::string& line, std::string& out)
{
    json_reader r{line};
    std::string type, text;
    if (!r.eat('[') || !r.number() || !r.eat(',') || !r.value(&type) || !r.eat(',') || !r.value(&text) || !r.eat(']'))
        return false;
    r.skip_space();
    if (r.at != line.size() || type != "o") return false;
    out += text;
    return true;
}

const std::string replacement = "\xEF\xBF\xBD";

void put_replacement(std::string& out)
{
    if (out.size() < 3 || out.compare(out.size() - 3, 3, replacement) != 0) out += replacement;
}

// The characters of text, each run of bytes that are not UTF-8 (or of U+FFFD)
// as one U+FFFD: the writer may give one a byte or one a run. A valid start
// of a character cut off by the end is left out: it waits for a write that
// never comes.
std::string folded(const std::string& text)
{
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        const int length = utf8_sequence(p + i, text.size() - i);
        if (length < 0) break;
        if (length == 0 || text.compare(i, 3, replacement) == 0) put_replacement(out);
        else out.append(text, i, static_cast<std::size_t>(length));
        i += length > 0 ? static_cast<std::size_t>(length) : 1;
    }
    return out;
}

// Where the recordings go: a folder of this process's own (mkdtemp, under
// TMPDIR), removed at exit, so that fuzz runs side by side never meet.
std::string recording_path()
{
    static std::string dir;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/glimfant-fuzz-cast-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    dir = pattern;
    std::atexit([] {
        std::remove((dir + "/fuzz.cast").c_str());
        rmdir(dir.c_str());
    });
    return dir + "/fuzz.cast";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const int cut = 1 + data[0] % 64;  // bytes a write
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t n = size - 1;

    static cast_file cast;
    static const std::string path = recording_path();
    if (!cast_open(cast, path.c_str())) std::abort();
    char term[17] = {};
    std::memcpy(term, bytes, n < 16 ? n : 16);
    cast_header header;
    header.term = term;
    cast_write_header(cast, header);
    std::int64_t time_us = data[0] * 1234567ll;
    for (std::size_t i = 0; i < n; i += static_cast<std::size_t>(cut)) {
        const std::size_t k = n - i < static_cast<std::size_t>(cut) ? n - i : static_cast<std::size_t>(cut);
        cast_output(cast, time_us, bytes + i, k);
        time_us += 20000;
    }
    if (!cast_finish(cast)) std::abort();

    std::ifstream in(path, std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::remove(path.c_str());
    std::size_t at = file.find('\n');
    if (at == std::string::npos) std::abort();
    json_reader head{file.substr(0, at)};
    if (!head.value() || head.at != at) std::abort();
    std::string shown;
    for (++at; at < file.size();) {
        const std::size_t end = file.find('\n', at);
        if (end == std::string::npos || !output_event(file.substr(at, end - at), shown)) std::abort();
        at = end + 1;
    }
    if (folded(shown) != folded(std::string(bytes, n))) std::abort();
    return 0;
}
