// The ssh server's host key: an ed25519 key in OpenSSH's file format. A key
// file that exists is read as it is; a missing one is made, with mode 0600,
// whole or not at all. A key file that others than its owner may read is
// refused, as OpenSSH refuses one: whoever reads it can pose as the server.
#pragma once
#include <libssh/libssh.h>

// The key in the file at path, made there when the file is missing; nullptr
// with a one-line reason in why (why_size bytes) when it cannot be read or
// made, is not an unencrypted ed25519 key, or may be read by others.
ssh_key ssh_host_key_load(const char* path, char* why, int why_size);

// The key's fingerprint as OpenSSH's client shows it ("SHA256:..."), into
// text (size bytes, always terminated).
void ssh_host_key_fingerprint(ssh_key key, char* text, int size);
