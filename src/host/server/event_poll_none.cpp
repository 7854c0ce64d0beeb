#include "host/server/event_poll.h"

#include <poll.h>

#include <cerrno>

namespace {

pollfd* watched = nullptr;  // by token; fd -1 when free
int* places = nullptr;      // token of each pollfd after packing
pollfd* packed = nullptr;
int slots = 0;

}  // namespace

bool poller_open(int capacity)
{
    slots = capacity;
    watched = new pollfd[static_cast<unsigned>(capacity)];  // once
    packed = new pollfd[static_cast<unsigned>(capacity)];
    places = new int[static_cast<unsigned>(capacity)];
    for (int i = 0; i < capacity; ++i) watched[i] = {-1, 0, 0};
    return true;
}

void poller_watch(int fd, int token, bool read, bool write)
{
    watched[token] = {fd, static_cast<short>((read ? POLLIN : 0) | (write ? POLLOUT : 0)), 0};
}

void poller_change(int fd, int token, bool read, bool write) { poller_watch(fd, token, read, write); }
void poller_forget(int, int token) { watched[token].fd = -1; }

int poller_wait(poll_event* events, int max, int timeout_ms)
{
    int n = 0;
    for (int t = 0; t < slots; ++t)
        if (watched[t].fd >= 0) {
            packed[n] = watched[t];
            places[n++] = t;
        }
    if (poll(packed, static_cast<nfds_t>(n), timeout_ms) <= 0) return 0;
    int count = 0;
    for (int i = 0; i < n && count < max; ++i) {
        const short r = packed[i].revents;
        if (!r) continue;
        events[count++] = {places[i], (r & (POLLIN | POLLERR | POLLHUP)) != 0, (r & (POLLOUT | POLLERR)) != 0};
    }
    return count;
}
