#include "serve/http_request.h"

#include <cstring>

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with_nocase(const char* text, int n, const char* prefix)
{
    const int k = static_cast<int>(std::strlen(prefix));
    if (n < k) return false;
    for (int i = 0; i < k; ++i)
        if (lower(text[i]) != prefix[i]) return false;
    return true;
}

bool contains_nocase(const char* text, int n, const char* word)
{
    for (int i = 0; i < n; ++i)
        if (starts_with_nocase(text + i, n - i, word)) return true;
    return false;
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The file a target names, into request.name; a status when it names none.
int read_target(const char* target, int n, http_request& request)
{
    if (n > http_target_limit) return 414;
    if (n == 0 || target[0] != '/') return 400;  // not a path (an absolute URL, '*')
    int end = 0;
    while (end < n && target[end] != '?' && target[end] != '#') ++end;
    char name[http_name_capacity];
    int k = 0;
    bool too_long = false;
    for (int i = 1; i < end; ++i) {
        int c = static_cast<unsigned char>(target[i]);
        if (c == '%') {
            const int high = i + 2 < end ? hex_value(target[i + 1]) : -1;
            const int low = i + 2 < end ? hex_value(target[i + 2]) : -1;
            if (high < 0 || low < 0) return 400;
            c = high * 16 + low;
            i += 2;
        }
        // Climbing out, NUL and control bytes are refused outright; a name
        // with a slash (a folder's file) is simply not one of the page's.
        if (c == 0 || c == '\\' || c < 0x20 || c == 0x7F) return 400;
        if (k == http_name_capacity - 1) {
            too_long = true;
            continue;
        }
        name[k++] = static_cast<char>(c);
    }
    name[k] = '\0';
    if (std::strstr(name, "..")) return 400;
    if (too_long || std::strchr(name, '/') || name[0] == '.') return 404;
    std::memcpy(request.name, name, static_cast<std::size_t>(k) + 1);
    return 0;
}

// The request line: METHOD SP TARGET SP HTTP/1.x.
int read_request_line(const char* line, int n, http_request& request)
{
    const char* sp1 = static_cast<const char*>(std::memchr(line, ' ', static_cast<std::size_t>(n)));
    if (!sp1) return 400;
    const int method_length = static_cast<int>(sp1 - line);
    const char* target = sp1 + 1;
    const int rest = n - method_length - 1;
    const char* sp2 = static_cast<const char*>(std::memchr(target, ' ', static_cast<std::size_t>(rest)));
    if (!sp2) return 400;  // HTTP/0.9 has no version: not served
    const int target_length = static_cast<int>(sp2 - target);
    const char* version = sp2 + 1;
    const int version_length = rest - target_length - 1;
    if (version_length < 5 || std::memcmp(version, "HTTP/", 5) != 0) return 400;
    if (!(version_length == 8 && (std::memcmp(version + 5, "1.1", 3) == 0 || std::memcmp(version + 5, "1.0", 3) == 0)))
        return 505;
    if (method_length == 3 && std::memcmp(line, "GET", 3) == 0) request.method = http_get;
    else if (method_length == 4 && std::memcmp(line, "HEAD", 4) == 0) request.method = http_head;
    else request.method = http_other;
    const int status = read_target(target, target_length, request);
    if (status) return status;
    return request.method == http_other ? 405 : 0;
}

void read_header(const char* line, int n, http_request& request, int& status)
{
    const char* colon = static_cast<const char*>(std::memchr(line, ':', static_cast<std::size_t>(n)));
    if (!colon || colon == line) {
        if (!status) status = 400;
        return;
    }
    const int name_length = static_cast<int>(colon - line);
    const char* value = colon + 1;
    int value_length = n - name_length - 1;
    while (value_length > 0 && (*value == ' ' || *value == '\t')) ++value, --value_length;
    if (name_length == 10 && starts_with_nocase(line, name_length, "user-agent")) {
        if (starts_with_nocase(value, value_length, "curl/") || starts_with_nocase(value, value_length, "wget/"))
            request.text_client = true;
    } else if (name_length == 4 && starts_with_nocase(line, name_length, "host")) {
        // Kept only when it is made of a host name's and an address's characters.
        bool plain = value_length > 0 && value_length < static_cast<int>(sizeof request.host);
        for (int i = 0; plain && i < value_length; ++i) {
            const char c = value[i];
            plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '-' || c == ':' || c == '[' || c == ']';
        }
        const int kept = plain ? value_length : 0;
        std::memcpy(request.host, value, static_cast<std::size_t>(kept));
        request.host[kept] = '\0';
    } else if (name_length == 6 && starts_with_nocase(line, name_length, "accept")) {
        if (contains_nocase(value, value_length, "text/plain") && !contains_nocase(value, value_length, "text/html"))
            request.text_client = true;
    }
}

}  // namespace

int http_head_end(const char* bytes, int n, int from)
{
    // The blank line: LF (CR) LF; a bare LF ends a line too.
    for (int i = from > 0 ? from : 0; i < n; ++i) {
        if (bytes[i] != '\n') continue;
        if (i + 1 < n && bytes[i + 1] == '\n') return i + 2;
        if (i + 2 < n && bytes[i + 1] == '\r' && bytes[i + 2] == '\n') return i + 3;
    }
    return 0;
}

void http_parse(const char* head, int n, http_request& request)
{
    request = http_request{};
    int status = 0;
    bool first = true;
    for (int start = 0; start < n;) {
        const char* lf = static_cast<const char*>(std::memchr(head + start, '\n', static_cast<std::size_t>(n - start)));
        const int end = lf ? static_cast<int>(lf - head) : n;
        int length = end - start;
        if (length > 0 && head[start + length - 1] == '\r') --length;
        if (first) {
            status = read_request_line(head + start, length, request);
            first = false;
        } else if (length > 0) {
            read_header(head + start, length, request, status);
        }
        start = end + 1;
    }
    if (first) status = 400;
    request.status = status;
    if (status) request.name[0] = '\0';
}
