#include "host/server/ssh_connections.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "host/server/event_poll.h"
#include "host/server/server_log.h"
#include "serve/frame_encodings.h"

ssh_state ssh_server;

namespace {

// Hands libssh what the channel's window takes of bytes; how many, or -1
// when the channel is gone.
int write_some(ssh_connection& c, const char* bytes, int n)
{
    const std::uint32_t window = ssh_channel_window_size(c.asked.channel);
    const int k = static_cast<std::uint32_t>(n) < window ? n : static_cast<int>(window);
    if (k == 0) return 0;
    // libssh sends what the socket takes now and keeps the rest for the next flush.
    const int written = ssh_channel_write(c.asked.channel, bytes, static_cast<std::uint32_t>(k));
    return written < 0 ? -1 : written;
}

}  // namespace

int token_of(const ssh_connection& c)
{
    return ssh_server.setup.token_base + listener_capacity + static_cast<int>(&c - ssh_server.connections);
}
int queued(const ssh_connection& c) { return c.queue_to - c.queue_from; }
bool pending(const ssh_connection& c) { return c.session && (ssh_get_status(c.session) & SSH_WRITE_PENDING); }
bool all_out(const ssh_connection& c) { return queued(c) == 0 && !pending(c); }
bool broken(const ssh_connection& c)
{
    // A stream may end its input and still watch; a terminal without keys is done.
    return !c.session || (ssh_get_status(c.session) & (SSH_CLOSED | SSH_CLOSED_ERROR)) || c.asked.client_closed ||
           (c.asked.client_eof && c.view.interactive);
}

void enter(ssh_connection& c, ssh_stage s)
{
    c.at = s;
    c.stage_ns = ssh_server.current_ns;
}

void close_connection(ssh_connection& c, const char* why, bool reset)
{
    if (!c.why) c.why = why;
    char address[address_text_capacity];
    peer_text(c.peer, address);
    const double seconds = static_cast<double>(ssh_server.current_ns - c.opened_ns) / 1e9;
    const auto bytes = static_cast<unsigned long long>(c.counter.out_bytes);
    if (c.view.frames > 0) {
        char term[ssh_term_capacity * 4];
        log_escape(c.asked.term, -1, term, sizeof term);
        log_line("#%u close %s ssh term=%s size=%dx%d bytes=%llu frames=%llu seconds=%.1f why=%s", c.asked.number,
                 address, c.asked.pty && c.asked.term[0] ? term : "-", c.view.columns, c.view.rows, bytes,
                 static_cast<unsigned long long>(c.view.frames), seconds, c.why);
    } else {
        log_line("#%u close %s ssh bytes=%llu seconds=%.1f why=%s", c.asked.number, address, bytes, seconds, c.why);
    }
    if (c.admitted) {
        limits_release(*ssh_server.setup.limits, c.peer.address);
        --*ssh_server.setup.admitted;
    }
    poller_forget(c.fd, token_of(c));
    if (reset) {
        // What the kernel holds for a client that takes nothing is dropped now.
        const linger hard{1, 0};
        setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    if (c.session) ssh_free(c.session);  // closes libssh's copy of the socket, and the channel
    close(c.fd);
    if (c.high_water > 4096) madvise(c.queue, static_cast<std::size_t>(viewer_queue_bytes), MADV_DONTNEED);
    char* queue = c.queue;
    c = ssh_connection{};
    c.queue = queue;
    --ssh_server.open_count;
}

void watch(ssh_connection& c)
{
    const bool want = pending(c);
    if (want == c.want_write) return;
    c.want_write = want;
    poller_change(c.fd, token_of(c), !c.read_paused, want);
}

void note_progress(ssh_connection& c)
{
    if (c.counter.out_bytes != c.out_seen) {
        c.out_seen = c.counter.out_bytes;
        c.progress_ns = ssh_server.current_ns;
    }
}

bool flush_queue(ssh_connection& c)
{
    if (queued(c) == 0) return true;
    const int n = write_some(c, c.queue + c.queue_from, queued(c));
    if (n < 0) return false;
    if (n > 0) c.progress_ns = ssh_server.current_ns;
    c.queue_from += n;
    if (queued(c) == 0) c.queue_from = c.queue_to = 0;
    return true;
}

bool send_bytes(ssh_connection& c, const char* bytes, int n)
{
    if (n <= 0) return true;
    if (queued(c) == 0) {
        const int sent = write_some(c, bytes, n);
        if (sent < 0) return false;
        bytes += sent;
        n -= sent;
        if (n == 0) return true;
    }
    if (c.queue_to + n > viewer_queue_bytes) {
        std::memmove(c.queue, c.queue + c.queue_from, static_cast<std::size_t>(queued(c)));
        c.queue_to -= c.queue_from;
        c.queue_from = 0;
        if (c.queue_to + n > viewer_queue_bytes) return false;
    }
    std::memcpy(c.queue + c.queue_to, bytes, static_cast<std::size_t>(n));
    c.queue_to += n;
    if (c.queue_to > c.high_water) c.high_water = c.queue_to;
    return true;
}
