// The output helper's system calls on POSIX systems.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "capture/output_file.h"

namespace {

constexpr int max_link_hops = 40;  // as the kernel's own limit

// Where a file not made yet goes: its folder's real path and its name.
bool place_of(const char* target, char* place, int size)
{
    const char* slash = std::strrchr(target, '/');
    char folder[output_path_capacity];
    if (!slash) std::snprintf(folder, sizeof folder, ".");
    else if (slash == target) std::snprintf(folder, sizeof folder, "/");
    else std::snprintf(folder, sizeof folder, "%.*s", static_cast<int>(slash - target), target);
    char real[PATH_MAX];
    if (!realpath(folder, real)) return false;
    return std::snprintf(place, static_cast<std::size_t>(size), "%s/%s", real, slash ? slash + 1 : target) < size;
}

}  // namespace

bool output_same_file(const char* a, const char* b)
{
    char ta[output_path_capacity], tb[output_path_capacity];
    output_kind kind = output_replaced;
    if (output_resolve(a, ta, sizeof ta, kind) || output_resolve(b, tb, sizeof tb, kind)) return false;
    struct stat sa{}, sb{}, null{};
    const bool a_exists = stat(ta, &sa) == 0, b_exists = stat(tb, &sb) == 0;
    if (a_exists && b_exists) {
        if (sa.st_dev != sb.st_dev || sa.st_ino != sb.st_ino) return false;
        return !(S_ISCHR(sa.st_mode) && stat("/dev/null", &null) == 0 && null.st_rdev == sa.st_rdev);
    }
    if (a_exists || b_exists) return false;
    char pa[output_path_capacity + PATH_MAX], pb[output_path_capacity + PATH_MAX];
    return place_of(ta, pa, sizeof pa) && place_of(tb, pb, sizeof pb) && !std::strcmp(pa, pb);
}

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
