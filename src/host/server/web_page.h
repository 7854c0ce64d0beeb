// What HTTP clients are answered: the web page's files, read whole from the
// --serve-web folder at start-up (only its own regular files, none in a
// folder below, no hidden ones), so that no request ever opens a file; a
// short page that says how to watch when there is no folder; and the heads
// of every answer.
#pragma once
#include <cstddef>

inline constexpr int web_file_capacity = 64;
inline constexpr int http_text_capacity = 2048;  // a head or a short page

struct web_file {
    char name[96];
    const char* type;       // Content-Type
    const char* bytes;      // the whole file
    std::size_t size;
};

// Reads the folder's files; false with a one-line reason in why.
bool web_page_load(const char* dir, char* why, int why_size);
// The file of that name, or null. "" is the page itself (index.html).
const web_file* web_page_file(const char* name);
// True when a folder was loaded.
bool web_page_loaded();

// The head of a 200 answer with a body of size bytes of type, into out
// (http_text_capacity); its length.
int http_ok_head(char* out, const char* type, std::size_t size);
// The head of the show as a text stream: no length, no caching, closed by either side.
int http_stream_head(char* out);
// A whole answer with a status other than 200 (and Retry-After for 503),
// its body the line given; for HEAD the head alone.
int http_error(char* out, int status, const char* line, bool head_only);
// The whole answer with the short page telling how to watch, for host (the
// client's Host header, "" when none), into out; its length (the head's
// length in *head_length, for HEAD).
int http_how_to_watch(char* out, const char* host, int port, int* head_length);
