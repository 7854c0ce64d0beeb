// The output helper's system calls on Windows. The temporary file is opened
// with FILE_SHARE_DELETE, so that a console event's handler (on a thread of
// its own) can remove it while the main flow still writes; MoveFileEx for
// the rename, since rename() there never replaces a file.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "capture/output_file.h"

namespace {

std::atomic<int> temp_count{0};  // tells this process's temporary files apart

int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL: return ENOSPC;
    default: return EIO;
    }
}

}  // namespace

int output_resolve(const char* path, char* target, int size, output_kind& kind)
{
    if (std::snprintf(target, static_cast<std::size_t>(size), "%s", path) >= size) return ENAMETOOLONG;
    kind = output_replaced;
    const HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;  // not there yet: creating it says what is wrong
    const DWORD type = GetFileType(h);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool folder = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(h);
    if (folder) return EISDIR;
    if (type != FILE_TYPE_DISK) kind = output_direct;  // NUL, CON, a pipe
    return 0;
}

std::FILE* output_create_temp(const char* target, char* temp, int size)
{
    if (std::snprintf(temp, static_cast<std::size_t>(size), "%s.%lu.%d.tmp", target,
                      static_cast<unsigned long>(GetCurrentProcessId()), temp_count.fetch_add(1)) >= size) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    const HANDLE h = CreateFileA(temp, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = errno_of(GetLastError());
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
    std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (!file) {
        if (fd < 0) CloseHandle(h); else _close(fd);
        DeleteFileA(temp);
        errno = EIO;
    }
    return file;
}

bool output_same_file(const char* a, const char* b)
{
    // Two files that exist are one when the volume and the file index agree;
    // names of files yet to be made, when their full paths do (any case).
    BY_HANDLE_FILE_INFORMATION info[2]{};
    bool exists[2] = {};
    const char* names[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        const HANDLE h = CreateFileA(names[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) continue;
        const bool disk = GetFileType(h) == FILE_TYPE_DISK;  // NUL, CON and pipes lose nothing to this
        exists[i] = disk && GetFileInformationByHandle(h, &info[i]);
        CloseHandle(h);
        if (!disk) return false;
    }
    if (exists[0] && exists[1])
        return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
               info[0].nFileIndexHigh == info[1].nFileIndexHigh && info[0].nFileIndexLow == info[1].nFileIndexLow;
    if (exists[0] || exists[1]) return false;
    char full[2][MAX_PATH];
    for (int i = 0; i < 2; ++i)
        if (!GetFullPathNameA(names[i], MAX_PATH, full[i], nullptr)) return false;
    return lstrcmpiA(full[0], full[1]) == 0;
}

bool output_replace(const char* from, const char* to)
{
    if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING)) return true;
    errno = errno_of(GetLastError());
    return false;
}

void output_remove(const char* path) { DeleteFileA(path); }
