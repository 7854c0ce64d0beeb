#include "host/server/server.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/monotonic_clock.h"
#include "host/server/event_poll.h"
#include "host/server/net_sockets.h"
#include "host/server/server_admission.h"
#include "host/server/server_connections.h"
#include "host/server/server_log.h"
#include "host/server/server_reading.h"
#include "host/server/ssh_viewers.h"
#include "host/server/web_page.h"
#include "serve/address_limits.h"
#include "serve/first_bytes.h"
#include "serve/frame_encodings.h"
#include "serve/show_frames.h"
#include "serve/viewer_session.h"

namespace {

constexpr std::int64_t ms = 1000000;
constexpr std::int64_t session_limit_ns = std::int64_t{2} * 3600 * 1000 * ms;
constexpr std::int64_t stop_grace_ns = 900 * ms;  // SIGTERM: every viewer given back and closed within a second
constexpr std::int64_t linger_ns = 1000 * ms;     // after the last byte, for the client's own close
constexpr std::int64_t proxy_wait_ns = 5000 * ms;

int listeners[listener_capacity];
int listener_count = 0;
int wake_pipe[2] = {-1, -1};
char* pool = nullptr;
show_frames frames;
frame_encodings* encodings = nullptr;
char message[encoding_capacity];  // a too-small message being sent
volatile std::sig_atomic_t stop_asked = 0;
std::int64_t tick0_ns = 0;

int listener_token(int i) { return server.capacity + i; }
int wake_token() { return server.capacity + listener_capacity; }
int ssh_token_base() { return server.capacity + listener_capacity + 1; }  // the ssh viewers' tokens from here

void on_stop_signal(int)
{
    stop_asked = 1;
    const int saved = errno;
    const char byte = 0;
    if (write(wake_pipe[1], &byte, 1) < 0) {}  // the pipe is full: a wake-up is due anyway
    errno = saved;
}

int ssh_open() { return server.opts.ssh_listen ? ssh_viewers_open() : 0; }

// What a connection does at a tick: its waits, its limits, its frame.
void tick_connection(connection& c, std::int64_t now, std::int64_t stall_ns)
{
    const std::int64_t age = now - c.opened_ns;
    const std::int64_t in_stage = now - c.stage_ns;
    if (!all_out(c) && now - c.progress_ns > stall_ns) {
        // A reset, not a close: what the kernel holds for it is dropped now,
        // not sent on for minutes to a client that takes nothing.
        const linger reset{1, 0};
        setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        close_connection(c, "it took nothing for the stall limit");
        return;
    }
    switch (c.at) {
    case at_proxy_header:
        if (age > proxy_wait_ns) close_connection(c, "no PROXY header");
        return;
    case at_first_bytes: {
        if (age < first_bytes_wait_ms * ms) return;
        const auto* input = reinterpret_cast<const unsigned char*>(c.slot + queue_capacity);
        // The start of a method, a byte at a time: given the request's time.
        if (first_bytes_sniff(input, c.input_length) == first_bytes_unsure && c.input_length > 0 &&
            age < http_request_wait_ms * ms)
            return;
        if (c.refusal) refuse(c, false, now);
        else offer_telnet(c, now);
        c.input_length = 0;
        return;
    }
    case at_telnet_offer:
        if (in_stage >= telnet_answer_wait_ms * ms) start_viewer(c, false, now);
        return;
    case at_telnet_settle:
        if (in_stage >= telnet_settle_ms * ms) start_viewer(c, true, now);
        return;
    case at_http_request:
        if (age >= http_request_wait_ms * ms) {
            c.client = "http";
            c.status = 408;
            c.why = "its request was not whole within 5 s";
            char text[http_text_capacity];
            answer_and_finish(c, text, http_error(text, 408, "the request took too long", false), now);
        }
        return;
    case at_answering:
        return;
    case at_lingering:
        if (in_stage > linger_ns) close_connection(c, c.why ? c.why : "done");
        return;
    case at_viewing:
        break;
    }
    if (c.view.stage != stage_leaving) {
        if (age > session_limit_ns) {
            leave(c, "a session lasts at most 2 hours", "the session limit");
            return;
        }
        if (session_tick(c.view, server.tick, now) == session_leave) {
            leave(c, nullptr, "q or ESC");
            return;
        }
    }
    if (c.view.stage == stage_leaving || !all_out(c)) return;  // the frame is still going out: skip to the newest
    const encoding out = session_frame(c.view, *encodings, server.tick, now, message);
    send_bytes(c, out.bytes, out.length);
}

void begin_stop(std::int64_t now)
{
    for (int i = 0; i < listener_count; ++i) {
        poller_forget(listeners[i], listener_token(i));
        close(listeners[i]);
    }
    listener_count = 0;
    log_line("stopping: giving %d connections back", server.open_count);
    for (int i = 0; i < server.capacity; ++i) {
        connection& c = server.connections[i];
        if (c.fd < 0) continue;
        if (c.at == at_viewing && c.view.stage != stage_leaving) leave(c, "the show's server is stopping", "the server stopped");
        else if (c.at != at_lingering && c.at != at_answering && c.at != at_viewing) close_connection(c, "the server stopped");
    }
    if (server.opts.ssh_listen) ssh_viewers_stop();
    (void)now;
}

bool start(const serve_options& o)
{
    server.opts = o;
    // Room to refuse a few past the limit with a message, rather than close them at once.
    server.capacity = o.max_viewers + 64 + o.max_viewers / 16;
    // An ssh connection takes two: the server's and libssh's copy.
    if (!raise_file_limit(server.capacity * (o.ssh_listen ? 3 : 1) + 2 * listener_capacity + 32)) return false;
    char why[512];
    if (o.web_dir && !web_page_load(o.web_dir, why, sizeof why)) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        return false;
    }
    listener_count = o.listen ? listen_on(o.listen, listeners, why, sizeof why) : 0;
    if (o.listen && listener_count == 0) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        return false;
    }
    if (pipe(wake_pipe) != 0 || !poller_open(ssh_token_base() + (o.ssh_listen ? ssh_token_count(server.capacity) : 0))) {
        std::fprintf(stderr, "glimfant: cannot set up the server: %s\n", std::strerror(errno));
        return false;
    }
    for (int fd : wake_pipe) {
        fcntl(fd, F_SETFL, O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    // One mapping for every connection's queue and input, taken by the
    // kernel only as far as each is used.
    void* p = mmap(nullptr, slot_bytes * static_cast<std::size_t>(server.capacity), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANON, -1, 0);
    if (p == MAP_FAILED) {
        std::fprintf(stderr, "glimfant: cannot map %d connections' queues: %s\n", server.capacity, std::strerror(errno));
        return false;
    }
    pool = static_cast<char*>(p);
    // Zeroed, fd -1: a slot starts as a closed one leaves it.
    server.connections = new connection[static_cast<std::size_t>(server.capacity)]();
    for (int i = 0; i < server.capacity; ++i) server.connections[i].slot = pool + slot_bytes * static_cast<std::size_t>(i);
    limits_init(server.limits, o.max_per_address, o.max_new_per_minute, server.capacity);
    frames = show_frames_render();
    encodings = new frame_encodings{};
    encodings_init(*encodings, frames, o.codepage);
    if (o.ssh_listen) {
        ssh_setup ssh;
        ssh.listen = o.ssh_listen;
        ssh.host_key = o.ssh_host_key;
        ssh.capacity = server.capacity;
        ssh.token_base = ssh_token_base();
        ssh.max_viewers = o.max_viewers;
        ssh.admitted = &server.admitted_count;
        ssh.limits = &server.limits;
        ssh.next_number = &server.next_number;
        ssh.proxy_protocol = o.proxy_protocol;
        ssh.code_page_bytes = o.code_page_bytes;
        ssh.stall_limit_s = o.stall_limit_s;
        ssh.login_limit_s = o.ssh_login_limit_s;
        if (!ssh_viewers_start(ssh)) return false;
    }

    struct sigaction stop{};
    stop.sa_handler = on_stop_signal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    poller_watch(wake_pipe[0], wake_token(), true, false);
    for (int i = 0; i < listener_count; ++i) {
        poller_watch(listeners[i], listener_token(i), true, false);
        char name[address_text_capacity];
        listener_name(listeners[i], name);
        if (i == 0) server.listen_port = std::atoi(std::strrchr(name, ':') + 1);
        log_line("listening on %s (telnet, netcat and HTTP; at most %d viewers)", name, o.max_viewers);
    }
    return true;
}

}  // namespace

int serve_show(const serve_options& o)
{
    if (!start(o)) return 1;
    tick0_ns = monotonic_ns();
    std::int64_t next_tick_ns = tick0_ns;
    std::int64_t stop_at = -1, next_purge = tick0_ns;
    const std::int64_t stall_ns = static_cast<std::int64_t>(o.stall_limit_s) * 1000 * ms;
    poll_event events[256];
    for (;;) {
        std::int64_t now = monotonic_ns();
        if (stop_asked && stop_at < 0) {
            stop_at = now;
            begin_stop(now);
        }
        if (stop_at >= 0 && ((server.open_count == 0 && ssh_open() == 0) || now - stop_at > stop_grace_ns)) break;
        const std::int64_t wait = next_tick_ns - now;
        const int n = poller_wait(events, 256, wait > 0 ? static_cast<int>((wait + ms - 1) / ms) : 0);
        now = monotonic_ns();
        for (int i = 0; i < n; ++i) {
            const int token = events[i].token;
            if (token == wake_token()) {
                char drain[64];
                while (read(wake_pipe[0], drain, sizeof drain) > 0) {}
            } else if (token >= ssh_token_base()) {
                ssh_viewers_event(token - ssh_token_base(), events[i].readable, events[i].writable, now);
            } else if (token >= server.capacity) {
                if (token - server.capacity < listener_count) accept_connections(listeners[token - server.capacity], now);
            } else {
                connection& c = server.connections[token];
                if (c.fd >= 0 && events[i].writable) flush(c);
                if (c.fd >= 0 && events[i].readable && !c.read_closed) on_readable(c, now);
            }
        }
        if (now < next_tick_ns) continue;
        // A late tick skips to the newest: the showings keep to the clock.
        server.tick = (now - tick0_ns) / (frame_ms * ms);
        next_tick_ns = tick0_ns + (server.tick + 1) * frame_ms * ms;
        encodings_new_tick(*encodings);
        for (int i = 0; i < server.capacity; ++i)
            if (server.connections[i].fd >= 0) tick_connection(server.connections[i], now, stall_ns);
        if (o.ssh_listen) ssh_viewers_tick(server.tick, now, *encodings);
        if (now >= next_purge) {
            limits_purge(server.limits, now);
            next_purge = now + 1000 * ms;
        }
    }
    for (int i = 0; i < server.capacity; ++i)
        if (server.connections[i].fd >= 0) close_connection(server.connections[i], "the server stopped");
    if (o.ssh_listen) ssh_viewers_end();
    log_line("stopped");
    return 0;
}
