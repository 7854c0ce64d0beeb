// The output helper's system calls on POSIX systems.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/output_file.h"

namespace {

constexpr int max_link_hops = 40;  // as the kernel's own limit

}  // namespace

int output_resolve(const char* path, char* target, int size, output_kind& kind)
{
    struct stat st{};
    if (stat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        kind = S_ISREG(st.st_mode) ? output_replaced : output_direct;
    } else if (errno != ENOENT) {
        return errno;
    } else {
        kind = output_replaced;
    }
    if (std::snprintf(target, static_cast<std::size_t>(size), "%s", path) >= size) return ENAMETOOLONG;
    if (kind == output_direct) return 0;  // /dev/stdout's links may end in no name at all
    // A link to a file, or to where one is to be: the file at its end is
    // replaced, the links stay.
    for (int hop = 0;; ++hop) {
        char link[output_path_capacity];
        const ssize_t n = readlink(target, link, sizeof link - 1);
        if (n < 0) return errno == EINVAL || errno == ENOENT ? 0 : errno;
        if (hop == max_link_hops) return ELOOP;
        link[n] = '\0';
        const char* slash = std::strrchr(target, '/');
        const int folder = link[0] == '/' || !slash ? 0 : static_cast<int>(slash - target) + 1;
        if (folder + n >= size) return ENAMETOOLONG;
        std::memcpy(target + folder, link, static_cast<std::size_t>(n) + 1);
    }
}

std::FILE* output_create_temp(const char* target, char* temp, int size)
{
    if (std::snprintf(temp, static_cast<std::size_t>(size), "%s.XXXXXX", target) >= size) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    const int fd = mkstemp(temp);
    if (fd < 0) return nullptr;
    // mkstemp makes the file private; a replaced file keeps its permissions,
    // a new one gets the usual.
    struct stat st{};
    mode_t mode = 0;
    if (stat(target, &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    std::FILE* file = fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        close(fd);
        unlink(temp);
        errno = error;
    }
    return file;
}

bool output_replace(const char* from, const char* to) { return rename(from, to) == 0; }

void output_remove(const char* path) { unlink(path); }
