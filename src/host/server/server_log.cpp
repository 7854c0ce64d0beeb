#include "host/server/server_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

void log_line(const char* format, ...)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    char line[1024];
    int n = static_cast<int>(std::strftime(line, 32, "%Y-%m-%dT%H:%M:%S", &utc));
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), ".%03ldZ glimfant: ", now.tv_nsec / 1000000);
    va_list args;
    va_start(args, format);
    const int k = std::vsnprintf(line + n, sizeof line - static_cast<std::size_t>(n) - 1, format, args);
    va_end(args);
    n = k < 0 ? n : n + k < static_cast<int>(sizeof line) - 1 ? n + k : static_cast<int>(sizeof line) - 2;
    line[n++] = '\n';
    std::fwrite(line, 1, static_cast<std::size_t>(n), stderr);  // one write: lines of two servers never mix
}

void log_escape(const char* bytes, int n, char* out, int size)
{
    if (n < 0) n = static_cast<int>(std::strlen(bytes));
    int k = 0;
    for (int i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const bool plain = b >= 0x20 && b < 0x7F && b != '\\';
        if (k + (plain ? 1 : 4) + 4 > size) {
            if (size >= 4) std::memcpy(out + k, "...", 4);
            return;
        }
        if (plain) out[k++] = static_cast<char>(b);
        else k += std::snprintf(out + k, 5, "\\x%02X", b);
    }
    if (size > 0) out[k] = '\0';
}
