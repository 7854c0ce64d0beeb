#include "host/server/ssh_host_key.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/printable.h"

namespace {

constexpr int key_file_limit = 16 * 1024;  // an ed25519 key file is about 400 bytes
constexpr int path_limit = 4096;

// Wipes a secret, through a volatile pointer so that the stores stay.
void wipe(void* bytes, std::size_t n)
{
    for (auto* b = static_cast<volatile unsigned char*>(bytes); n > 0; --n) *b++ = 0;
}

ssh_key fail(char* why, int why_size, const char* format, ...) __attribute__((format(printf, 3, 4)));
ssh_key fail(char* why, int why_size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(why, static_cast<std::size_t>(why_size), format, args);
    va_end(args);
    return nullptr;
}

// The key in the open file fd (closed here).
ssh_key read_key(int fd, const char* path, char* why, int why_size)
{
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return fail(why, why_size, "the ssh host key '%s' is not a file", printable(path));
    }
    if (st.st_mode & 077) {
        close(fd);
        return fail(why, why_size, "the ssh host key '%s' may be read by others (mode %04o): chmod 600 it",
                    printable(path), static_cast<unsigned>(st.st_mode & 07777));
    }
    char text[key_file_limit + 1];
    int n = 0;
    for (ssize_t got = 1; got > 0 && n < key_file_limit;) {
        got = read(fd, text + n, static_cast<std::size_t>(key_file_limit - n));
        if (got < 0 && errno == EINTR) got = 1;
        else if (got < 0) {
            const int error = errno;
            close(fd);
            return fail(why, why_size, "cannot read the ssh host key '%s': %s", printable(path), std::strerror(error));
        } else n += static_cast<int>(got);
    }
    close(fd);
    text[n] = '\0';
    ssh_key key = nullptr;
    const int imported = ssh_pki_import_privkey_base64(text, nullptr, nullptr, nullptr, &key);
    wipe(text, sizeof text);
    if (imported != SSH_OK || !key)
        return fail(why, why_size, "the ssh host key '%s' is not an unencrypted OpenSSH private key", printable(path));
    if (ssh_key_type(key) != SSH_KEYTYPE_ED25519) {
        const char* type = ssh_key_type_to_char(ssh_key_type(key));
        ssh_key_free(key);
        return fail(why, why_size, "the ssh host key '%s' is an %s key, not ed25519", printable(path), type ? type : "unknown");
    }
    return key;
}

// A new key, written to path whole: into a file of its own beside it first,
// then linked to the name, so no reader meets half a key and a key another
// start made at the same time is the one kept.
ssh_key make_key(const char* path, char* why, int why_size)
{
    char temporary[path_limit];
    if (std::snprintf(temporary, sizeof temporary, "%s.XXXXXX", path) >= static_cast<int>(sizeof temporary))
        return fail(why, why_size, "the ssh host key's name '%s' is too long", printable(path));
    ssh_key key = nullptr;
    char* text = nullptr;
    if (ssh_pki_generate(SSH_KEYTYPE_ED25519, 0, &key) != SSH_OK ||
        ssh_pki_export_privkey_base64(key, nullptr, nullptr, nullptr, &text) != SSH_OK) {
        ssh_key_free(key);
        return fail(why, why_size, "cannot make an ed25519 key for '%s'", printable(path));
    }
    const mode_t mask = umask(077);
    const int fd = mkstemp(temporary);  // mode 0600
    umask(mask);
    const std::size_t length = std::strlen(text);
    bool written = fd >= 0;
    int error = errno;
    for (std::size_t at = 0; written && at < length;) {
        const ssize_t n = write(fd, text + at, length - at);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        error = n < 0 ? errno : ENOSPC;
        if (written) at += static_cast<std::size_t>(n);
    }
    if (written && fsync(fd) != 0) {
        written = false;
        error = errno;
    }
    wipe(text, length);
    ssh_string_free_char(text);
    if (fd >= 0 && close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && link(temporary, path) != 0) {
        error = errno;
        written = false;
    }
    if (fd >= 0) unlink(temporary);
    if (written) return key;
    ssh_key_free(key);
    if (error == EEXIST) {  // made meanwhile by another start: that one is the key
        const int again = open(path, O_RDONLY | O_CLOEXEC);
        if (again >= 0) return read_key(again, path, why, why_size);
        error = errno;
    }
    return fail(why, why_size, "cannot write the ssh host key '%s': %s", printable(path), std::strerror(error));
}

}  // namespace

ssh_key ssh_host_key_load(const char* path, char* why, int why_size)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return read_key(fd, path, why, why_size);
    if (errno == ENOENT) return make_key(path, why, why_size);
    return fail(why, why_size, "cannot read the ssh host key '%s': %s", printable(path), std::strerror(errno));
}

void ssh_host_key_fingerprint(ssh_key key, char* text, int size)
{
    unsigned char* hash = nullptr;
    std::size_t length = 0;
    char* shown = nullptr;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) == 0)
        shown = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    std::snprintf(text, static_cast<std::size_t>(size), "%s", shown ? shown : "?");
    ssh_string_free_char(shown);
    ssh_clean_pubkey_hash(&hash);
}
