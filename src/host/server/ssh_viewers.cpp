#include "host/server/ssh_viewers.h"

#include <libssh/libssh.h>
#include <libssh/server.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/server/event_poll.h"
#include "host/server/server_log.h"
#include "host/server/ssh_host_key.h"
#include "host/server/ssh_requests.h"
#include "host/server/terminal_types.h"
#include "serve/proxy_header.h"
#include "serve/viewer_session.h"

namespace {

constexpr std::int64_t ms = 1000000;
constexpr std::int64_t session_limit_ns = std::int64_t{2} * 3600 * 1000 * ms;
constexpr std::int64_t closing_limit_ns = 1000 * ms;  // after the channel's close, for the client's own
constexpr int accepts_per_wake = 64;
constexpr unsigned char control_c = 0x03;

enum ssh_stage : std::uint8_t {
    at_proxy_header,  // waiting for the PROXY header
    at_key_exchange,  // the versions and the keys
    at_login,         // authentication, then the channel, its pty and its shell
    at_viewing,       // the show
    at_closing,       // what is queued goes out, the channel is closed, then the connection
};

struct ssh_connection {
    int fd = -1;                   // the poller's; libssh closes a copy of its own
    peer_name peer;
    ssh_stage at;
    bool admitted;                 // counted in the limits
    const char* refusal;           // past a limit: said at its shell, then closed
    bool want_write;
    bool read_paused;              // a PROXY header not yet whole: read again at the tick
    bool interrupt;                // Ctrl-C came
    bool channel_ended;            // its exit status, EOF and close sent
    int exit_status;
    ssh_session session;
    ssh_counter_struct counter;    // the bytes through the socket
    ssh_requests asked;            // what the client asked for (the channel, its pty ...)
    std::int64_t opened_ns, stage_ns, progress_ns;
    std::uint64_t out_seen;        // counter.out_bytes at the last look
    char* queue;                   // viewer_queue_bytes: what the channel's window did not take
    int queue_from, queue_to, high_water;
    const char* why;               // why it closed
    viewer_session view;
};

ssh_setup setup;
ssh_bind binder = nullptr;
ssh_connection* connections = nullptr;
char* pool = nullptr;
int listeners[listener_capacity];
int listener_count = 0;
int open_count = 0;
std::int64_t current_tick = 0;
std::int64_t current_ns = 0;      // the time of the event or tick being handled, for the callbacks
char message[encoding_capacity];  // a too-small message being sent

int token_of(const ssh_connection& c) { return setup.token_base + listener_capacity + static_cast<int>(&c - connections); }
int queued(const ssh_connection& c) { return c.queue_to - c.queue_from; }
// libssh holds bytes the socket has not taken yet.
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
    c.stage_ns = current_ns;
}

void close_connection(ssh_connection& c, const char* why, bool reset = false)
{
    if (!c.why) c.why = why;
    char address[address_text_capacity];
    peer_text(c.peer, address);
    const double seconds = static_cast<double>(current_ns - c.opened_ns) / 1e9;
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
        limits_release(*setup.limits, c.peer.address);
        --*setup.admitted;
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
    --open_count;
}

// Watches the socket for writing while libssh holds bytes for it. (What the
// channel's window holds back waits for the client's window adjustment, a read.)
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
        c.progress_ns = current_ns;
    }
}

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

// Sends the queue as far as the window takes it; false when the channel is gone.
bool flush_queue(ssh_connection& c)
{
    if (queued(c) == 0) return true;
    const int n = write_some(c, c.queue + c.queue_from, queued(c));
    if (n < 0) return false;
    if (n > 0) c.progress_ns = current_ns;
    c.queue_from += n;
    if (queued(c) == 0) c.queue_from = c.queue_to = 0;
    return true;
}

// Sends bytes after what is queued, the rest into the queue (at most
// viewer_queue_bytes); false when they could not be kept (the caller closes).
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

// ---- The connection's stages.

void start_session(ssh_connection& c)
{
    if (*setup.admitted >= setup.max_viewers) {
        c.refusal = "the show has as many viewers as it takes; try again later";
    } else {
        c.refusal = limits_admit(*setup.limits, c.peer.address, current_ns);
        if (!c.refusal) {
            c.admitted = true;
            ++*setup.admitted;
        }
    }
    const int copy = fcntl(c.fd, F_DUPFD_CLOEXEC, 0);
    c.session = copy >= 0 ? ssh_new() : nullptr;
    if (!c.session) {
        if (copy >= 0) close(copy);
        close_connection(c, "no room for its session");
        return;
    }
    ssh_set_blocking(c.session, 0);
    ssh_set_counters(c.session, &c.counter, nullptr);
    ssh_requests_watch(c.asked, c.session);
    if (ssh_bind_accept_fd(binder, c.session, copy) != SSH_OK) {
        close(copy);
        close_connection(c, "libssh did not take it");
        return;
    }
    enter(c, at_key_exchange);
}

// Reads the PROXY header off the socket, leaving the client's own bytes for libssh.
void read_proxy_header(ssh_connection& c)
{
    unsigned char head[proxy_v2_limit];
    const ssize_t n = recv(c.fd, head, sizeof head, MSG_PEEK | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
        close_connection(c, "the client closed before its PROXY header");
        return;
    }
    proxy_source source;
    const int length = proxy_header_read(head, static_cast<int>(n), source);
    if (length < 0 || (length == 0 && n == static_cast<ssize_t>(sizeof head))) {
        close_connection(c, "no valid PROXY header");
        return;
    }
    if (length == 0) {  // more to come: not read again before the tick
        c.read_paused = true;
        poller_change(c.fd, token_of(c), false, false);
        return;
    }
    if (recv(c.fd, head, static_cast<std::size_t>(length), MSG_DONTWAIT) != length) {
        close_connection(c, "no valid PROXY header");
        return;
    }
    if (source.family == 4) {
        std::memset(c.peer.address, 0, 10);
        c.peer.address[10] = c.peer.address[11] = 0xFF;
        std::memcpy(c.peer.address + 12, source.address, 4);
    } else if (source.family == 6) {
        std::memcpy(c.peer.address, source.address, 16);
    }
    if (source.family) {
        c.peer.port = source.port;
        char address[address_text_capacity];
        peer_text(c.peer, address);
        log_line("#%u is %s (from the PROXY header)", c.asked.number, address);
    }
    c.opened_ns = current_ns;  // the waits start from here
    start_session(c);
}

// The show begins at the shell: the terminal's type and size from the pty
// request, as for telnet; without a pty, the stream netcat gets.
void start_viewer(ssh_connection& c)
{
    output_kind kind;
    kind.raw_bytes = setup.code_page_bytes;
    int columns = screen_width, rows = screen_height;
    const ssh_requests& r = c.asked;
    if (r.pty) {
        kind.color = color_for_term(r.term);
        kind.raw_bytes = kind.raw_bytes || raw_bytes_for_term(r.term);
        kind.erase_in_color = term_erases_in_color(r.term);
        if (r.columns > 0 && r.rows > 0) {
            columns = r.columns;
            rows = r.rows;
        }
    } else {
        kind.stream = true;
    }
    session_start(c.view, kind, r.pty, columns, rows, current_tick);
    c.asked.resized = false;
    c.asked.input_length = 0;  // what came before the show is no key
    enter(c, at_viewing);
    char text[session_text_room];
    if (!send_bytes(c, text, session_opening(c.view, text, current_ns))) close_connection(c, "its queue overflowed");
}

// Gives the terminal back (and says why when line is not null), then closes.
void leave(ssh_connection& c, const char* line, const char* why)
{
    c.why = why;
    char text[session_text_room];
    const int n = session_closing(c.view, line, text);
    enter(c, at_closing);
    if (!send_bytes(c, text, n)) close_connection(c, "its queue overflowed");
}

// A connection that gets no show: one line on the terminal saying why, then closed.
void turn_away(ssh_connection& c, const char* line, const char* why, int status)
{
    c.why = why;
    c.exit_status = status;
    char text[160];
    const int n = std::snprintf(text, sizeof text, "glimfant: %s\r\n", line);
    enter(c, at_closing);
    if (c.asked.refused) {
        // The refusal's own answer is the client's message; this line says what the server is.
        if (ssh_channel_write_stderr(c.asked.channel, text, static_cast<std::uint32_t>(n)) < 0) close_connection(c, why);
    } else if (!send_bytes(c, text, n)) {
        close_connection(c, why);
    }
}

// What is queued goes; then the channel's end (its status, EOF and close);
// then, once all is out, the connection when the client has closed its
// end or the closing limit has passed.
void advance_closing(ssh_connection& c)
{
    if (!flush_queue(c)) {
        close_connection(c, "the client closed");
        return;
    }
    if (queued(c) > 0) return;
    ssh_channel channel = c.asked.channel;
    if (!c.channel_ended && channel && !c.asked.client_closed) {
        ssh_channel_request_send_exit_status(channel, c.exit_status);
        ssh_channel_send_eof(channel);
        ssh_channel_close(channel);
    }
    c.channel_ended = true;
    if (!pending(c) && (broken(c) || current_ns - c.stage_ns > closing_limit_ns)) close_connection(c, "done");
}

// The keys and window changes that came while libssh read, to the viewer.
void take_requests(ssh_connection& c)
{
    ssh_requests& r = c.asked;
    if (c.view.stage != stage_leaving) {
        if (r.resized) session_resize(c.view, r.columns, r.rows);
        // Ctrl-C leaves, as telnet's interrupt does: the viewer's terminal sends it as a byte.
        if (std::memchr(r.input, control_c, static_cast<std::size_t>(r.input_length))) c.interrupt = true;
        if (r.input_length > 0) session_input(c.view, r.input, r.input_length, current_ns);
    }
    r.resized = false;
    r.input_length = 0;
}

// After libssh has read or written: what the client asked for, acted on.
void settle(ssh_connection& c)
{
    note_progress(c);
    if (c.at == at_login && c.asked.refused) {
        turn_away(c, "this server shows the show, and runs no commands", c.asked.refused, 1);
        if (c.fd < 0) return;
    } else if (c.at == at_login && c.asked.shell) {
        if (c.refusal) turn_away(c, c.refusal, c.refusal, 1);
        else start_viewer(c);
        if (c.fd < 0) return;
    }
    if (c.at == at_viewing) {
        if (broken(c)) {
            close_connection(c, "the client closed");
            return;
        }
        take_requests(c);
        if (!flush_queue(c)) {
            close_connection(c, "the client closed");
            return;
        }
        if (c.interrupt && c.view.stage != stage_leaving) leave(c, nullptr, "interrupt");
        if (c.fd < 0) return;
    }
    if (c.at == at_closing) {
        advance_closing(c);
        if (c.fd < 0) return;
    } else if (c.at != at_viewing && broken(c)) {
        close_connection(c, "the client closed");
        return;
    }
    watch(c);
}

void on_connection_event(ssh_connection& c)
{
    switch (c.at) {
    case at_proxy_header:
        read_proxy_header(c);
        if (c.fd < 0 || c.at == at_proxy_header) return;
        [[fallthrough]];  // libssh may have the client's first bytes already
    case at_key_exchange: {
        const int rc = ssh_handle_key_exchange(c.session);
        if (rc == SSH_ERROR) {
            close_connection(c, broken(c) ? "the client closed in the key exchange" : "the key exchange failed");
            return;
        }
        if (rc == SSH_OK) enter(c, at_login);
        break;
    }
    default:
        // Reads what came and sends what libssh holds; the callbacks take note.
        ssh_execute_message_callbacks(c.session);
        break;
    }
    settle(c);
}

void accept_connections(int listener)
{
    for (int k = 0; k < accepts_per_wake; ++k) {
        peer_name peer;
        const int fd = accept_one(listener, peer);
        if (fd < 0) return;
        const std::uint32_t number = (*setup.next_number)++;
        char address[address_text_capacity];
        peer_text(peer, address);
        int place = -1;
        if (open_count < setup.capacity)
            for (int i = 0; i < setup.capacity; ++i)
                if (connections[(number + static_cast<std::uint32_t>(i)) % setup.capacity].fd < 0) {
                    place = static_cast<int>((number + static_cast<std::uint32_t>(i)) % setup.capacity);
                    break;
                }
        if (place < 0) {
            log_line("#%u open %s ssh closed at once: no room", number, address);
            close(fd);
            continue;
        }
        ssh_connection& c = connections[place];
        c.fd = fd;
        c.asked.number = number;
        c.peer = peer;
        c.opened_ns = c.progress_ns = current_ns;
        ++open_count;
        poller_watch(fd, token_of(c), true, false);
        log_line("#%u open %s ssh", c.asked.number, address);
        if (setup.proxy_protocol) {
            enter(c, at_proxy_header);
        } else {
            start_session(c);
            if (c.fd >= 0) on_connection_event(c);  // the server's version goes out at once
        }
    }
}

void tick_connection(ssh_connection& c, std::int64_t stall_ns, frame_encodings& e)
{
    const std::int64_t age = current_ns - c.opened_ns;
    if (c.at < at_viewing) {
        if (age > static_cast<std::int64_t>(setup.login_limit_s) * 1000 * ms) {
            close_connection(c, "it was not at the show within the login limit");
            return;
        }
        if (c.read_paused) {
            c.read_paused = false;
            poller_change(c.fd, token_of(c), true, c.want_write);
        }
        return;
    }
    note_progress(c);
    if (!all_out(c) && current_ns - c.progress_ns > stall_ns) {
        close_connection(c, "it took nothing for the stall limit", true);
        return;
    }
    if (c.at == at_closing) {
        advance_closing(c);
        if (c.fd >= 0) watch(c);
        return;
    }
    take_requests(c);  // what came while libssh wrote
    if (c.interrupt && c.view.stage != stage_leaving) {
        leave(c, nullptr, "interrupt");
        return;
    }
    if (c.view.stage != stage_leaving) {
        if (age > session_limit_ns) {
            leave(c, "a session lasts at most 2 hours", "the session limit");
            return;
        }
        if (session_tick(c.view, current_tick, current_ns) == session_leave) {
            leave(c, nullptr, "q or ESC");
            return;
        }
    }
    if (!flush_queue(c)) {
        close_connection(c, "the client closed");
        return;
    }
    if (all_out(c)) {  // else the frame is still going out: skip to the newest
        const encoding out = session_frame(c.view, e, current_tick, current_ns, message);
        if (!send_bytes(c, out.bytes, out.length)) {
            close_connection(c, "its queue overflowed");
            return;
        }
    }
    if (broken(c)) {
        close_connection(c, "the client closed");
        return;
    }
    watch(c);
}

}  // namespace

bool ssh_viewers_start(const ssh_setup& s)
{
    setup = s;
    char why[512];
    ssh_key key = ssh_host_key_load(s.host_key, why, sizeof why);
    if (!key) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        return false;
    }
    char fingerprint[128];
    ssh_host_key_fingerprint(key, fingerprint, sizeof fingerprint);
    ssh_set_log_level(SSH_LOG_NOLOG);  // the server's log is its own: a line a connection
    binder = ssh_bind_new();
    bool no = false;
    int quiet = SSH_LOG_NOLOG;
    if (!binder || ssh_bind_options_set(binder, SSH_BIND_OPTIONS_PROCESS_CONFIG, &no) != SSH_OK ||
        ssh_bind_options_set(binder, SSH_BIND_OPTIONS_LOG_VERBOSITY, &quiet) != SSH_OK ||
        ssh_bind_options_set(binder, SSH_BIND_OPTIONS_IMPORT_KEY, key) != SSH_OK) {  // the bind owns the key
        std::fprintf(stderr, "glimfant: cannot set up the ssh server\n");
        return false;
    }
    listener_count = listen_on(s.listen, listeners, why, sizeof why);
    if (listener_count == 0) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        return false;
    }
    // One mapping for every connection's queue, taken by the kernel only as far as each is used.
    void* p = mmap(nullptr, static_cast<std::size_t>(viewer_queue_bytes) * static_cast<std::size_t>(s.capacity),
                   PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANON, -1, 0);
    if (p == MAP_FAILED) {
        std::fprintf(stderr, "glimfant: cannot map %d ssh connections' queues: %s\n", s.capacity, std::strerror(errno));
        return false;
    }
    pool = static_cast<char*>(p);
    connections = new ssh_connection[static_cast<std::size_t>(s.capacity)]();  // zeroed, fd -1
    for (int i = 0; i < s.capacity; ++i)
        connections[i].queue = pool + static_cast<std::size_t>(viewer_queue_bytes) * static_cast<std::size_t>(i);
    for (int i = 0; i < listener_count; ++i) {
        poller_watch(listeners[i], s.token_base + i, true, false);
        char name[address_text_capacity];
        listener_name(listeners[i], name);
        log_line("listening on %s (ssh, host key %s)", name, fingerprint);
    }
    return true;
}

void ssh_viewers_event(int token, bool readable, bool writable, std::int64_t now_ns)
{
    current_ns = now_ns;
    if (token < listener_capacity) {
        if (token < listener_count && readable) accept_connections(listeners[token]);
        return;
    }
    ssh_connection& c = connections[token - listener_capacity];
    if (c.fd >= 0 && (readable || writable)) on_connection_event(c);
}

void ssh_viewers_tick(std::int64_t tick, std::int64_t now_ns, frame_encodings& e)
{
    current_tick = tick;
    current_ns = now_ns;
    const std::int64_t stall_ns = static_cast<std::int64_t>(setup.stall_limit_s) * 1000 * ms;
    for (int i = 0; i < setup.capacity && connections; ++i)
        if (connections[i].fd >= 0) tick_connection(connections[i], stall_ns, e);
}

void ssh_viewers_stop()
{
    for (int i = 0; i < listener_count; ++i) {
        poller_forget(listeners[i], setup.token_base + i);
        close(listeners[i]);
    }
    listener_count = 0;
    for (int i = 0; i < setup.capacity && connections; ++i) {
        ssh_connection& c = connections[i];
        if (c.fd < 0 || c.at == at_closing) continue;
        if (c.at == at_viewing && c.view.stage != stage_leaving) leave(c, "the show's server is stopping", "the server stopped");
        else close_connection(c, "the server stopped");
    }
}

int ssh_viewers_open() { return open_count; }

void ssh_viewers_end()
{
    for (int i = 0; i < setup.capacity && connections; ++i)
        if (connections[i].fd >= 0) close_connection(connections[i], "the server stopped");
    for (int i = 0; i < listener_count; ++i) close(listeners[i]);
    listener_count = 0;
    if (binder) ssh_bind_free(binder);
    binder = nullptr;
    delete[] connections;
    connections = nullptr;
    if (pool) munmap(pool, static_cast<std::size_t>(viewer_queue_bytes) * static_cast<std::size_t>(setup.capacity));
    pool = nullptr;
}
