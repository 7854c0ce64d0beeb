#include "host/server/server_admission.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "host/server/event_poll.h"
#include "host/server/net_sockets.h"
#include "host/server/server_log.h"
#include "host/server/web_page.h"

namespace {

constexpr int accepts_per_wake = 64;

}  // namespace

void admit(connection& c, std::int64_t now)
{
    if (server.admitted_count >= server.opts.max_viewers) {
        c.refusal = "the show has as many viewers as it takes; try again later";
        return;
    }
    c.refusal = limits_admit(server.limits, c.peer.address, now);
    if (c.refusal) return;
    c.admitted = true;
    ++server.admitted_count;
}

void refuse(connection& c, bool http, std::int64_t now)
{
    char text[http_text_capacity];
    c.why = c.refusal;
    if (http) {
        c.client = "http";
        c.status = 503;
        answer_and_finish(c, text, http_error(text, 503, c.refusal, false), now);
        return;
    }
    const int n = std::snprintf(text, sizeof text, "glimfant: %s\r\n", c.refusal);
    answer_and_finish(c, text, n, now);
}

void accept_connections(int listener, std::int64_t now)
{
    for (int k = 0; k < accepts_per_wake; ++k) {
        peer_name peer;
        const int fd = accept_one(listener, peer);
        if (fd < 0) return;
        int free_place = -1;
        if (server.open_count < server.capacity)
            for (int i = 0; i < server.capacity; ++i)
                if (server.connections[(server.next_number + i) % server.capacity].fd < 0) {
                    free_place = static_cast<int>((server.next_number + i) % server.capacity);
                    break;
                }
        char address[address_text_capacity];
        peer_text(peer, address);
        if (free_place < 0) {
            // Beyond even the room to refuse: closed at once.
            log_line("#%u open %s closed at once: no room", server.next_number++, address);
            close(fd);
            continue;
        }
        connection& c = server.connections[free_place];
        c.fd = fd;
        c.number = server.next_number++;
        c.peer = peer;
        c.opened_ns = c.progress_ns = now;
        ++server.open_count;
        poller_watch(fd, free_place, true, false);
        log_line("#%u open %s", c.number, address);
        if (server.opts.proxy_protocol) {
            enter(c, at_proxy_header, now);
        } else {
            admit(c, now);
            enter(c, at_first_bytes, now);
        }
    }
}

bool raise_file_limit(int needed)
{
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) != 0) return false;
    if (r.rlim_cur != RLIM_INFINITY && r.rlim_cur >= static_cast<rlim_t>(needed)) return true;
    if (r.rlim_max == RLIM_INFINITY || r.rlim_max >= static_cast<rlim_t>(needed)) {
        r.rlim_cur = static_cast<rlim_t>(needed);
        return setrlimit(RLIMIT_NOFILE, &r) == 0;
    }
    rlimit raised{static_cast<rlim_t>(needed), static_cast<rlim_t>(needed)};  // as root, the hard limit too
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) return true;
    std::fprintf(stderr,
                 "glimfant: --max-viewers %d needs %d open files, and this process may have %llu "
                 "(raise it with ulimit -n, or LimitNOFILE= in the service)\n",
                 server.opts.max_viewers, needed, static_cast<unsigned long long>(r.rlim_max));
    return false;
}
