#include "host/server/web_page.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t folder_limit = 64 << 20;  // the page is about 200 kB; this bounds a wrong folder

web_file files[web_file_capacity];
int file_count = 0;

const char* type_of(const char* name)
{
    static const char* const types[][2] = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"}, {".wasm", "application/wasm"},
        {".css", "text/css; charset=utf-8"}, {".svg", "image/svg+xml"}, {".png", "image/png"},
        {".json", "application/json"}, {".txt", "text/plain; charset=utf-8"}, {".ico", "image/x-icon"},
    };
    const std::size_t n = std::strlen(name);
    for (const auto& t : types) {
        const std::size_t k = std::strlen(t[0]);
        if (n > k && !std::strcmp(name + n - k, t[0])) return t[1];
    }
    return "application/octet-stream";
}

const char* reason_of(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 414: return "URI Too Long";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
    }
}

bool read_whole(int dir_fd, const char* name, web_file& f, std::size_t room)
{
    const int fd = openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > room) {
        close(fd);
        return false;
    }
    char* bytes = new char[static_cast<std::size_t>(st.st_size) + 1];  // kept for the run
    std::size_t got = 0;
    while (got < static_cast<std::size_t>(st.st_size)) {
        const ssize_t n = read(fd, bytes + got, static_cast<std::size_t>(st.st_size) - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    f.bytes = bytes;
    f.size = got;
    return true;
}

}  // namespace

bool web_page_load(const char* dir, char* why, int why_size)
{
    const int dir_fd = open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = dir_fd >= 0 ? fdopendir(dir_fd) : nullptr;
    if (!d) {
        std::snprintf(why, static_cast<std::size_t>(why_size), "cannot read the page's folder '%s': %s", dir,
                      std::strerror(errno));
        if (dir_fd >= 0) close(dir_fd);
        return false;
    }
    std::size_t total = 0;
    while (dirent* e = readdir(d)) {
        const char* name = e->d_name;
        if (name[0] == '.' || std::strlen(name) >= sizeof files[0].name) continue;
        if (file_count == web_file_capacity) break;
        web_file& f = files[file_count];
        // Symbolic links, folders and devices are not the page's files.
        if (!read_whole(dirfd(d), name, f, folder_limit - total)) continue;
        std::snprintf(f.name, sizeof f.name, "%s", name);
        f.type = type_of(name);
        total += f.size;
        ++file_count;
    }
    closedir(d);
    if (!web_page_file("")) {
        std::snprintf(why, static_cast<std::size_t>(why_size), "the page's folder '%s' has no index.html", dir);
        return false;
    }
    return true;
}

const web_file* web_page_file(const char* name)
{
    if (!*name) name = "index.html";
    for (int i = 0; i < file_count; ++i)
        if (!std::strcmp(files[i].name, name)) return &files[i];
    return nullptr;
}

bool web_page_loaded() { return file_count > 0; }

int http_ok_head(char* out, const char* type, std::size_t size)
{
    return std::snprintf(out, http_text_capacity,
                         "HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %zu\r\n"
                         "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n",
                         type, size);
}

int http_stream_head(char* out)
{
    return std::snprintf(out, http_text_capacity,
                         "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
                         "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n");
}

int http_error(char* out, int status, const char* line, bool head_only)
{
    const int body = static_cast<int>(std::strlen(line)) + 1;
    int n = std::snprintf(out, http_text_capacity,
                          "HTTP/1.1 %d %s\r\n%sContent-Type: text/plain; charset=utf-8\r\nContent-Length: %d\r\n"
                          "Connection: close\r\n\r\n",
                          status, reason_of(status), status == 503 ? "Retry-After: 60\r\n" : "", body);
    if (!head_only) n += std::snprintf(out + n, static_cast<std::size_t>(http_text_capacity - n), "%s\n", line);
    return n;
}

int http_how_to_watch(char* out, const char* host, int port, int* head_length)
{
    // The host as the client named it (already reduced to a name's
    // characters), without its port; else a stand-in for the reader to fill.
    char name[80];
    std::snprintf(name, sizeof name, "%s", *host ? host : "HOST");
    if (name[0] != '[') {
        if (char* colon = std::strchr(name, ':')) *colon = '\0';
    } else if (char* close = std::strchr(name, ']')) {
        close[1] = '\0';
    }
    char page[1400];
    const int n = std::snprintf(page, sizeof page,
        "<!doctype html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>glimfant</title></head>\n"
        "<body style=\"background:#000;color:#c0c0c0;font-family:monospace\">\n"
        "<h1>glimfant</h1>\n<p>A real-time demo for the text terminal, shown here to every viewer at once. "
        "Watch it in a terminal of 80 x 25 or more:</p>\n<pre>\n"
        "curl -N http://%s:%d/       the show as text, at once, looping\n"
        "telnet %s %d           SPACE starts it, p pauses, the arrows move, q leaves\n"
        "nc %s %d               the show at once, in 16 colours\n"
        "</pre>\n<p>No sound travels: the show keeps a silent clock.</p>\n</body></html>\n",
        name, port, name, port, name, port);
    const int head = http_ok_head(out, "text/html; charset=utf-8", static_cast<std::size_t>(n));
    std::memcpy(out + head, page, static_cast<std::size_t>(n));
    *head_length = head;
    return head + n;
}
