// The recording's file on POSIX systems: pwrite at explicit offsets, so that
// a signal handler's write never moves a shared file position.
#include "capture/asciicast_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>

int cast_file_check_target(const char* path)
{
    struct stat st{};
    if (stat(path, &st) != 0 || S_ISREG(st.st_mode)) return 0;
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
}

long cast_file_process_id() { return static_cast<long>(getpid()); }

int cast_file_create(const char* path) { return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }

bool cast_file_write_at(int fd, const char* bytes, std::size_t n, std::uint64_t offset)
{
    while (n > 0) {
        const ssize_t w = pwrite(fd, bytes, n, static_cast<off_t>(offset));
        if (w > 0) {
            bytes += w;
            n -= static_cast<std::size_t>(w);
            offset += static_cast<std::uint64_t>(w);
        } else if (!(w < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

bool cast_file_close(int fd) { return close(fd) == 0; }

bool cast_file_replace(const char* from, const char* to) { return rename(from, to) == 0; }

void cast_file_remove(const char* path) { unlink(path); }

void cast_file_exclusive(void (*work)(void*), void* context)
{
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    work(context);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}
