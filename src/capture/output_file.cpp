#include "capture/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

bool output_open(output_file& out, const char* path, char* why, int size)
{
    out.file = nullptr;
    out.temp_path[0] = '\0';
    const int n = std::snprintf(out.path, sizeof out.path, "%s", path);
    if (n < 0 || n + 8 > output_path_capacity) {
        std::snprintf(why, static_cast<std::size_t>(size), "cannot write '%s': the name is too long", path);
        return false;
    }
    std::snprintf(out.temp_path, sizeof out.temp_path, "%s.XXXXXX", path);
    const int fd = mkstemp(out.temp_path);
    if (fd < 0) {
        std::snprintf(why, static_cast<std::size_t>(size), "cannot write '%s': %s", path, std::strerror(errno));
        out.temp_path[0] = '\0';
        return false;
    }
    // mkstemp makes the file private; the result gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    out.file = fdopen(fd, "wb");
    if (!out.file) {
        std::snprintf(why, static_cast<std::size_t>(size), "cannot write '%s': %s", path, std::strerror(errno));
        close(fd);
        output_discard(out);
        return false;
    }
    return true;
}

bool output_commit(output_file& out, char* why, int size)
{
    if (out.file) {
        const bool written = std::fflush(out.file) == 0 && !std::ferror(out.file);
        const int saved = errno;
        const bool closed = std::fclose(out.file) == 0;
        out.file = nullptr;
        if (!written || !closed) {
            std::snprintf(why, static_cast<std::size_t>(size), "writing '%s' failed: %s", out.path,
                          std::strerror(written ? errno : saved));
            output_discard(out);
            return false;
        }
    }
    if (std::rename(out.temp_path, out.path) != 0) {
        std::snprintf(why, static_cast<std::size_t>(size), "cannot write '%s': %s", out.path, std::strerror(errno));
        output_discard(out);
        return false;
    }
    out.temp_path[0] = '\0';
    return true;
}

void output_discard(output_file& out)
{
    if (out.file) std::fclose(out.file);
    out.file = nullptr;
    if (out.temp_path[0]) std::remove(out.temp_path);
    out.temp_path[0] = '\0';
}
