// The request of a client that spoke first in HTTP: its head (the request
// line and the headers, up to the blank line) read whole, and what it asks
// for: the show as text (curl, wget, or a client that accepts text/plain),
// the web page, or one of the page's files, named plainly. A path that could
// name anything else (.., its encodings, a backslash, NUL, a folder) is
// refused here, before any file is looked for. No system calls.
#pragma once

inline constexpr int http_head_limit = 8192;      // a head longer than this is refused
inline constexpr int http_target_limit = 1024;    // a longer request target is refused (414)
inline constexpr int http_name_capacity = 96;     // a file's name, with its NUL

enum http_method { http_get, http_head, http_other };

struct http_request {
    http_method method = http_other;
    bool text_client = false;        // the show as text rather than the page
    char name[http_name_capacity] = {};  // the file asked for; "" for "/"
    char host[64] = {};              // the Host header when it is a plain name[:port], else ""
    int status = 0;                  // 0: fine; else the status to answer (400, 404, 405, 414, 505)
};

// The length of the head in bytes[0, n), up to and including its blank
// line; 0 while it has not ended. The search starts at from: 0, or the n
// of an earlier call less 2, so a request that arrives a byte at a time is
// not read again from its start.
int http_head_end(const char* bytes, int n, int from);

// Reads a whole head of n bytes (as http_head_end measured it) into request.
void http_parse(const char* head, int n, http_request& request);
