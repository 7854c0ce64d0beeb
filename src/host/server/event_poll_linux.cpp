#include "host/server/event_poll.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace {

int epoll_fd = -1;

std::uint32_t mask(bool read, bool write) { return (read ? EPOLLIN : 0u) | (write ? EPOLLOUT : 0u); }

void control(int op, int fd, int token, bool read, bool write)
{
    epoll_event e{};
    e.events = mask(read, write);
    e.data.u32 = static_cast<std::uint32_t>(token);
    epoll_ctl(epoll_fd, op, fd, &e);
}

}  // namespace

bool poller_open(int)
{
    epoll_fd = epoll_create1(EPOLL_CLOEXEC);
    return epoll_fd >= 0;
}

void poller_watch(int fd, int token, bool read, bool write) { control(EPOLL_CTL_ADD, fd, token, read, write); }
void poller_change(int fd, int token, bool read, bool write) { control(EPOLL_CTL_MOD, fd, token, read, write); }
void poller_forget(int fd, int) { epoll_ctl(epoll_fd, EPOLL_CTL_DEL, fd, nullptr); }

int poller_wait(poll_event* events, int max, int timeout_ms)
{
    epoll_event got[256];
    const int n = epoll_wait(epoll_fd, got, max < 256 ? max : 256, timeout_ms);
    if (n <= 0) return 0;
    for (int i = 0; i < n; ++i) {
        events[i].token = static_cast<int>(got[i].data.u32);
        events[i].readable = got[i].events & (EPOLLIN | EPOLLERR | EPOLLHUP | EPOLLRDHUP);
        events[i].writable = got[i].events & (EPOLLOUT | EPOLLERR);
    }
    return n;
}
