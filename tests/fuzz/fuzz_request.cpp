// libFuzzer target for the requests a client sends before it is a viewer:
// the HTTP request's head and the PROXY header. The input is both.
// Checked: the head's end is found the same a byte at a time as at once;
// a path that is served names a plain file (no folder, no climbing, no
// hidden or control byte); the PROXY header's length is within the input
// and the limits, and every shorter part of a whole header asks for more.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "serve/http_request.h"
#include "serve/proxy_header.h"

namespace {

void check(bool holds)
{
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > static_cast<std::size_t>(http_head_limit)) return 0;
    const int n = static_cast<int>(size);
    const char* text = reinterpret_cast<const char*>(data);

    const int end = http_head_end(text, n, 0);
    check(end >= 0 && end <= n);
    int found = 0;
    for (int k = 1, from = 0; k <= n && !found; ++k) {
        found = http_head_end(text, k, from);
        from = k > 2 ? k - 2 : 0;
    }
    check(found == end);
    http_request r;
    http_parse(text, end > 0 ? end : n, r);
    if (r.status == 0) {
        check(r.method == http_get || r.method == http_head);
        check(!std::strchr(r.name, '/') && !std::strchr(r.name, '\\') && !std::strstr(r.name, "..") && r.name[0] != '.');
        for (const char* c = r.name; *c; ++c) check(static_cast<unsigned char>(*c) >= 0x20 && *c != 0x7F);
    } else {
        check(r.name[0] == '\0');
    }
    for (const char* c = r.host; *c; ++c) check(*c > ' ' && *c < 0x7F && *c != '<' && *c != '"');

    proxy_source source;
    const int length = proxy_header_read(data, n, source);
    check(length >= -1 && length <= n && length <= proxy_v2_limit);
    check(source.family == 0 || source.family == 4 || source.family == 6);
    if (length > 0)
        for (int k = 0; k < length; ++k) check(proxy_header_read(data, k, source) == 0);
    return 0;
}
