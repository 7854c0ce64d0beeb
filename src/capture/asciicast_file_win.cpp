// The recording's file on Windows: a C runtime descriptor (so that the writer
// keeps one int), written through its handle at explicit offsets, and
// MoveFileEx for the rename, since rename() there never replaces a file.
#include "capture/asciicast_file.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

namespace {

// Ctrl-C and the other console events run their handler on a thread of its
// own: a finish there waits for one in the main flow to end, and the other
// way round.
SRWLOCK finish_lock = SRWLOCK_INIT;

}  // namespace

int cast_file_check_target(const char* path)
{
    // Unlike stat(), this sees a folder given with a trailing separator.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return EISDIR;
    return attributes & FILE_ATTRIBUTE_DEVICE ? EINVAL : 0;
}

long cast_file_process_id() { return static_cast<long>(GetCurrentProcessId()); }

int cast_file_create(const char* path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

bool cast_file_write_at(int fd, const char* bytes, std::size_t n, std::uint64_t offset)
{
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE) return false;
    while (n > 0) {
        // On a handle opened without FILE_FLAG_OVERLAPPED the write is
        // synchronous and starts at the offset given here.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        const DWORD chunk = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
        DWORD written = 0;
        if (!WriteFile(file, bytes, chunk, &written, &at) || written == 0) return false;
        bytes += written;
        n -= written;
        offset += written;
    }
    return true;
}

bool cast_file_close(int fd) { return _close(fd) == 0; }

bool cast_file_replace(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

void cast_file_remove(const char* path) { DeleteFileA(path); }

void cast_file_exclusive(void (*work)(void*), void* context)
{
    AcquireSRWLockExclusive(&finish_lock);
    work(context);
    ReleaseSRWLockExclusive(&finish_lock);
}
