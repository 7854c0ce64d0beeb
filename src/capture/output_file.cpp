#include "capture/output_file.h"

#include <cerrno>
#include <cstring>

#include "base/printable.h"
#include "base/process_exit.h"

namespace {

void remove_at_exit(void* context)
{
    const output_file& out = *static_cast<const output_file*>(context);
    if (out.temp_path[0]) output_remove(out.temp_path);
}

void forget_cleanup(output_file& out)
{
    exit_cleanup_remove(out.cleanup - 1);
    out.cleanup = 0;
}

bool failed(char* why, int size, const char* format, const char* path, int error)
{
    std::snprintf(why, static_cast<std::size_t>(size), format, printable(path), std::strerror(error));
    errno = error;
    return false;
}

bool open_output(output_file& out, const char* path, bool by_name, char* why, int size)
{
    out.file = nullptr;
    out.temp_path[0] = '\0';
    out.target[0] = '\0';
    out.cleanup = 0;
    const int n = std::snprintf(out.path, sizeof out.path, "%s", path);
    if (n < 0 || n + 16 > output_path_capacity) return failed(why, size, "cannot write '%s': %s", path, ENAMETOOLONG);
    output_kind kind = output_replaced;
    if (const int error = output_resolve(path, out.target, sizeof out.target, kind))
        return failed(why, size, "cannot write '%s': %s", path, error);
    if (kind == output_direct) {
        if (by_name) return true;
        out.file = std::fopen(path, "wb");
        return out.file ? true : failed(why, size, "cannot write '%s': %s", path, errno);
    }
    // On the list before the file exists: its name is set before it is made.
    out.cleanup = exit_cleanup_add(remove_at_exit, &out) + 1;
    out.file = output_create_temp(out.target, out.temp_path, sizeof out.temp_path);
    if (!out.file) {
        const int error = errno;
        out.temp_path[0] = '\0';
        forget_cleanup(out);
        return failed(why, size, "cannot write '%s': %s", path, error);
    }
    if (by_name) {
        std::fclose(out.file);
        out.file = nullptr;
    }
    return true;
}

}  // namespace

bool output_open(output_file& out, const char* path, char* why, int size)
{
    return open_output(out, path, false, why, size);
}

bool output_prepare(output_file& out, const char* path, char* why, int size)
{
    return open_output(out, path, true, why, size);
}

const char* output_write_name(const output_file& out) { return out.temp_path[0] ? out.temp_path : out.path; }

bool output_commit(output_file& out, char* why, int size)
{
    if (out.file) {
        const bool written = std::fflush(out.file) == 0 && !std::ferror(out.file);
        const int saved = errno;
        const bool closed = std::fclose(out.file) == 0;
        out.file = nullptr;
        if (!written || !closed) {
            output_discard(out);
            return failed(why, size, "writing '%s' failed: %s", out.path, written ? errno : saved);
        }
    }
    if (out.temp_path[0] && !output_replace(out.temp_path, out.target)) {
        const int error = errno;
        output_discard(out);
        return failed(why, size, "cannot write '%s': %s", out.path, error);
    }
    out.temp_path[0] = '\0';
    forget_cleanup(out);
    return true;
}

void output_discard(output_file& out)
{
    if (out.file) std::fclose(out.file);
    out.file = nullptr;
    if (out.temp_path[0]) output_remove(out.temp_path);
    out.temp_path[0] = '\0';
    forget_cleanup(out);
}
