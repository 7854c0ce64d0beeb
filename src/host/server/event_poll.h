// Waiting for sockets: which of them can be read or written, level-triggered.
// Each socket is watched under a token (its connection's place), which the
// events name. event_poll_linux.cpp uses epoll; event_poll_none.cpp poll()
// for other systems.
#pragma once

struct poll_event {
    int token;
    bool readable;   // bytes, an end of input, an error or a hang-up to read
    bool writable;
};

// Once, for tokens 0 .. capacity - 1. False with errno set on failure.
bool poller_open(int capacity);
void poller_watch(int fd, int token, bool read, bool write);
void poller_change(int fd, int token, bool read, bool write);
void poller_forget(int fd, int token);  // before the socket is closed
// Waits at most timeout_ms for events; returns how many (up to max) were
// stored, 0 on a timeout or a signal.
int poller_wait(poll_event* events, int max, int timeout_ms);
