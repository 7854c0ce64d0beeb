#include "host/server/server_connections.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/monotonic_clock.h"
#include "host/server/event_poll.h"
#include "host/server/server_log.h"

server_state server;

namespace {

int queued(const connection& c) { return c.queue_to - c.queue_from; }

// Sends what the socket takes of bytes; -1 when the connection is gone.
int send_some(connection& c, const char* bytes, std::size_t n)
{
    const ssize_t sent = send(c.fd, bytes, n, MSG_DONTWAIT);  // SIGPIPE is ignored: a closed socket is EPIPE
    if (sent < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    if (sent > 0) c.progress_ns = monotonic_ns();
    c.bytes_out += static_cast<std::uint64_t>(sent);
    return static_cast<int>(sent);
}

}  // namespace

bool all_out(const connection& c) { return queued(c) == 0 && c.body_sent == c.body_size; }

void watch(connection& c)
{
    poller_change(c.fd, static_cast<int>(&c - server.connections), !c.read_closed, c.want_write);
}

void close_connection(connection& c, const char* why)
{
    if (!c.why) c.why = why;
    char address[address_text_capacity];
    peer_text(c.peer, address);
    const double seconds = static_cast<double>(monotonic_ns() - c.opened_ns) / 1e9;
    if (c.at == at_viewing || (c.at == at_lingering && c.view.frames > 0)) {
        const bool telnet = c.client && !std::strcmp(c.client, "telnet");
        log_line("#%u close %s %s term=%s size=%dx%d bytes=%llu frames=%llu seconds=%.1f why=%s", c.number, address,
                 c.client, telnet && c.telnet.term[0] ? c.telnet.term : "-", c.view.columns, c.view.rows,
                 static_cast<unsigned long long>(c.bytes_out), static_cast<unsigned long long>(c.view.frames),
                 seconds, c.why);
    } else {
        log_line("#%u close %s %s%s%s status=%d bytes=%llu seconds=%.1f why=%s", c.number, address,
                 c.client ? c.client : "-", c.path[0] ? " path=" : "", c.path, c.status,
                 static_cast<unsigned long long>(c.bytes_out), seconds, c.why);
    }
    if (c.admitted) {
        limits_release(server.limits, c.peer.address);
        --server.admitted_count;
    }
    poller_forget(c.fd, static_cast<int>(&c - server.connections));
    close(c.fd);
    // A slot that held more than a page gives its memory back.
    if (c.high_water > 4096) madvise(c.slot, slot_bytes, MADV_DONTNEED);
    char* slot = c.slot;
    c = connection{};
    c.slot = slot;
    --server.open_count;
}

void finish_if_done(connection& c)
{
    if (!c.finish || !all_out(c) || c.at == at_lingering) return;
    // The client closes its end once it has it all; until then it may still
    // send (an unread request body), which a close now would answer with a reset.
    shutdown(c.fd, SHUT_WR);
    c.at = at_lingering;
    c.stage_ns = monotonic_ns();
}

bool flush(connection& c)
{
    while (queued(c) > 0) {
        const int n = send_some(c, c.slot + c.queue_from, static_cast<std::size_t>(queued(c)));
        if (n < 0) {
            close_connection(c, "the client closed");
            return false;
        }
        if (n == 0) break;
        c.queue_from += n;
    }
    if (queued(c) == 0) c.queue_from = c.queue_to = 0;
    while (queued(c) == 0 && c.body_sent < c.body_size) {
        const int n = send_some(c, c.body + c.body_sent, c.body_size - c.body_sent);
        if (n < 0) {
            close_connection(c, "the client closed");
            return false;
        }
        if (n == 0) break;
        c.body_sent += static_cast<std::size_t>(n);
    }
    const bool blocked = !all_out(c);
    if (blocked != c.want_write) {
        c.want_write = blocked;
        watch(c);
    }
    finish_if_done(c);
    return true;
}

bool send_bytes(connection& c, const char* bytes, int n)
{
    if (n <= 0) return true;
    if (all_out(c)) {
        const int sent = send_some(c, bytes, static_cast<std::size_t>(n));
        if (sent < 0) {
            close_connection(c, "the client closed");
            return false;
        }
        bytes += sent;
        n -= sent;
        if (n == 0) return true;
    }
    if (c.queue_to + n > queue_capacity) {
        if (c.queue_from > 0) {  // the queue's start was sent: move the rest down
            std::memmove(c.slot, c.slot + c.queue_from, static_cast<std::size_t>(queued(c)));
            c.queue_to -= c.queue_from;
            c.queue_from = 0;
        }
        if (c.queue_to + n > queue_capacity) {
            close_connection(c, "its queue overflowed");
            return false;
        }
    }
    std::memcpy(c.slot + c.queue_to, bytes, static_cast<std::size_t>(n));
    c.queue_to += n;
    if (c.queue_to > c.high_water) c.high_water = c.queue_to;
    return flush(c);
}

void enter(connection& c, stage s, std::int64_t now)
{
    c.at = s;
    c.stage_ns = now;
}

void answer_and_finish(connection& c, const char* bytes, int n, std::int64_t now)
{
    enter(c, at_answering, now);
    c.finish = true;
    if (send_bytes(c, bytes, n)) finish_if_done(c);
}

void leave(connection& c, const char* line, const char* why)
{
    c.why = why;
    char text[session_text_room];
    const int n = session_closing(c.view, line, text);
    c.finish = true;
    if (send_bytes(c, text, n)) finish_if_done(c);
}
