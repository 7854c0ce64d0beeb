#include "host/server/server.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
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
#include "host/server/server_log.h"
#include "host/server/ssh_viewers.h"
#include "host/server/terminal_types.h"
#include "host/server/web_page.h"
#include "serve/address_limits.h"
#include "serve/first_bytes.h"
#include "serve/frame_encodings.h"
#include "serve/http_request.h"
#include "serve/proxy_header.h"
#include "serve/show_frames.h"
#include "serve/telnet_protocol.h"
#include "serve/viewer_session.h"

namespace {

constexpr std::int64_t ms = 1000000;
constexpr int queue_capacity = viewer_queue_bytes;
constexpr int input_capacity = http_head_limit;  // the first bytes, a PROXY header, an HTTP request
constexpr std::size_t slot_bytes = queue_capacity + input_capacity;
constexpr std::int64_t session_limit_ns = std::int64_t{2} * 3600 * 1000 * ms;
constexpr std::int64_t stop_grace_ns = 900 * ms;  // SIGTERM: every viewer given back and closed within a second
constexpr std::int64_t linger_ns = 1000 * ms;     // after the last byte, for the client's own close
constexpr std::int64_t proxy_wait_ns = 5000 * ms;
constexpr int read_block = 16 * 1024;             // read at most this much a connection a wake-up
constexpr int accepts_per_wake = 64;

enum stage : std::uint8_t {
    at_proxy_header,   // waiting for the PROXY header
    at_first_bytes,    // waiting for a request, or for the time to offer telnet
    at_telnet_offer,   // offers out, waiting for an answer
    at_telnet_settle,  // a telnet client: waiting for its size and type
    at_http_request,   // reading the request's head
    at_answering,      // an answer (a file, an error, a refusal) going out
    at_viewing,        // a viewer's session
    at_lingering,      // all sent and shut for writing: waiting for the client's close
};

struct connection {
    int fd = -1;
    std::uint32_t number;
    peer_name peer;
    stage at;
    const char* client;    // for the log: telnet, raw, http, curl
    bool admitted;         // counted in the limits
    const char* refusal;   // past a limit: said so, then closed
    bool finish;           // shut down once the queue and the body are out
    bool read_closed;
    bool want_write;
    std::int64_t opened_ns, stage_ns, progress_ns;
    char* slot;            // queue_capacity bytes of queue, then input_capacity of input
    int queue_from, queue_to;
    int input_length, searched;
    int high_water;        // bytes of the slot ever touched
    const char* body;      // a file sent after the queue
    std::size_t body_size, body_sent;
    std::uint64_t bytes_out;
    int status;            // the HTTP answer's status, for the log
    char path[40];         // the HTTP request's file, escaped, for the log
    const char* why;       // why it closed
    telnet_session telnet;
    viewer_session view;
};

serve_options opts;
connection* connections = nullptr;
int capacity = 0;           // connections: max_viewers and room to refuse more
int open_count = 0, admitted_count = 0;
std::uint32_t next_number = 1;
int listeners[listener_capacity];
int listener_count = 0;
int listen_port = 0;
int wake_pipe[2] = {-1, -1};
char* pool = nullptr;
show_frames frames;
frame_encodings* encodings = nullptr;
address_limits limits;
char message[encoding_capacity];  // a too-small message being sent
volatile std::sig_atomic_t stop_asked = 0;
std::int64_t tick0_ns = 0;
std::int64_t tick = 0;

int listener_token(int i) { return capacity + i; }
int wake_token() { return capacity + listener_capacity; }
int ssh_token_base() { return capacity + listener_capacity + 1; }  // the ssh viewers' tokens from here

void on_stop_signal(int)
{
    stop_asked = 1;
    const int saved = errno;
    const char byte = 0;
    if (write(wake_pipe[1], &byte, 1) < 0) {}  // the pipe is full: a wake-up is due anyway
    errno = saved;
}

int ssh_open() { return opts.ssh_listen ? ssh_viewers_open() : 0; }
int queued(const connection& c) { return c.queue_to - c.queue_from; }
bool all_out(const connection& c) { return queued(c) == 0 && c.body_sent == c.body_size; }

void watch(connection& c)
{
    poller_change(c.fd, static_cast<int>(&c - connections), !c.read_closed, c.want_write);
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
        limits_release(limits, c.peer.address);
        --admitted_count;
    }
    poller_forget(c.fd, static_cast<int>(&c - connections));
    close(c.fd);
    // A slot that held more than a page gives its memory back.
    if (c.high_water > 4096) madvise(c.slot, slot_bytes, MADV_DONTNEED);
    char* slot = c.slot;
    c = connection{};
    c.slot = slot;
    --open_count;
}

// Sends what the socket takes of bytes; -1 when the connection is gone.
int send_some(connection& c, const char* bytes, std::size_t n)
{
    const ssize_t sent = send(c.fd, bytes, n, MSG_DONTWAIT);  // SIGPIPE is ignored: a closed socket is EPIPE
    if (sent < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
    if (sent > 0) c.progress_ns = monotonic_ns();
    c.bytes_out += static_cast<std::uint64_t>(sent);
    return static_cast<int>(sent);
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

// Sends the queue, then the body, as far as the socket takes them; false
// when the connection is gone (and closed).
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

// Sends bytes after what is queued: straight to the socket when nothing is,
// the rest into the queue. False when the connection is gone (and closed).
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

// An answer that ends the connection: sent, then the connection is shut.
void answer_and_finish(connection& c, const char* bytes, int n, std::int64_t now)
{
    enter(c, at_answering, now);
    c.finish = true;
    if (send_bytes(c, bytes, n)) finish_if_done(c);
}

// Past a limit: one line saying why (an HTTP client gets 503), then closed.
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

// Counts the connection in the limits, or marks it to be refused.
void admit(connection& c, std::int64_t now)
{
    if (admitted_count >= opts.max_viewers) {
        c.refusal = "the show has as many viewers as it takes; try again later";
        return;
    }
    c.refusal = limits_admit(limits, c.peer.address, now);
    if (c.refusal) return;
    c.admitted = true;
    ++admitted_count;
}

bool telnet_settled(const telnet_session& t)
{
    const bool size = t.sizes > 0 || t.naws == option_off;
    const bool type = t.term_done || t.ttype == option_off;
    return size && type;
}

void start_viewer(connection& c, bool telnet, std::int64_t now)
{
    output_kind kind;
    kind.raw_bytes = opts.code_page_bytes;
    int columns = screen_width, rows = screen_height;
    if (telnet) {
        const char* term = c.telnet.term;
        kind.color = color_for_term(term);
        kind.raw_bytes = kind.raw_bytes || raw_bytes_for_term(term);
        kind.erase_in_color = term_erases_in_color(term);
        kind.telnet = true;
        if (c.telnet.columns > 0 && c.telnet.rows > 0) {
            columns = c.telnet.columns;
            rows = c.telnet.rows;
        }
        c.client = "telnet";
    } else {
        kind.stream = true;
        c.client = "raw";
    }
    session_start(c.view, kind, telnet, columns, rows, tick);
    enter(c, at_viewing, now);
    char text[session_text_room];
    send_bytes(c, text, session_opening(c.view, text, now));
}

void leave(connection& c, const char* line, const char* why)
{
    c.why = why;
    char text[session_text_room];
    const int n = session_closing(c.view, line, text);
    c.finish = true;
    if (send_bytes(c, text, n)) finish_if_done(c);
}

// Telnet bytes from the client: the keys to the session (when there is
// one), the replies back. False when the connection is gone.
bool read_telnet(connection& c, const unsigned char* bytes, int n, std::int64_t now)
{
    unsigned char data[read_block];
    unsigned char reply[read_block + telnet_reply_extra];
    int reply_length = 0;
    const int sizes = c.telnet.sizes;
    const int keys = telnet_feed(c.telnet, bytes, n, data, reply, &reply_length);
    if (!send_bytes(c, reinterpret_cast<const char*>(reply), reply_length)) return false;
    if (c.telnet.overflow) {
        c.refusal = "a telnet subnegotiation longer than 512 bytes";
        if (c.at == at_viewing) leave(c, c.refusal, c.refusal);
        else refuse(c, false, now);
        return c.fd >= 0;
    }
    if (c.at != at_viewing) return true;
    if (c.telnet.sizes != sizes) session_resize(c.view, c.telnet.columns, c.telnet.rows);
    session_input(c.view, data, keys, now);
    if (c.telnet.interrupt && c.view.stage != stage_leaving) leave(c, nullptr, "interrupt");
    return c.fd >= 0;
}

void offer_telnet(connection& c, std::int64_t now)
{
    telnet_offered(c.telnet);
    enter(c, at_telnet_offer, now);
    send_bytes(c, reinterpret_cast<const char*>(telnet_offers), telnet_offers_length);
}

void answer_request(connection& c, const http_request& r, std::int64_t now)
{
    if (!r.status) {
        c.path[0] = '/';
        log_escape(r.name, -1, c.path + 1, sizeof c.path - 1);
    }
    char head[http_text_capacity];
    const bool head_only = r.method == http_head;
    c.client = "http";
    if (r.status) {
        c.status = r.status;
        c.why = "answered";
        answer_and_finish(c, head, http_error(head, r.status, "that is not one of this page's files", head_only), now);
        return;
    }
    if (!*r.name && r.text_client) {
        // The show as a text stream, until the client closes.
        c.client = "curl";
        c.status = 200;
        if (!send_bytes(c, head, http_stream_head(head))) return;
        if (head_only) {
            c.why = "answered";
            answer_and_finish(c, "", 0, now);
            return;
        }
        output_kind kind;
        kind.raw_bytes = opts.code_page_bytes;
        kind.stream = true;
        session_start(c.view, kind, false, screen_width, screen_height, tick);
        enter(c, at_viewing, now);
        return;
    }
    c.why = "answered";
    if (!*r.name && !web_page_loaded()) {
        c.status = 200;
        int head_length = 0;
        const int n = http_how_to_watch(head, r.host, listen_port, &head_length);
        answer_and_finish(c, head, head_only ? head_length : n, now);
        return;
    }
    const web_file* f = web_page_file(r.name);
    if (!f) {
        c.status = 404;
        answer_and_finish(c, head, http_error(head, 404, "that is not one of this page's files", head_only), now);
        return;
    }
    c.status = 200;
    if (!head_only) {
        c.body = f->bytes;
        c.body_size = f->size;
        c.body_sent = 0;
    }
    answer_and_finish(c, head, http_ok_head(head, f->type, f->size), now);
}

void read_request(connection& c, std::int64_t now)
{
    const char* input = c.slot + queue_capacity;
    const int end = http_head_end(input, c.input_length, c.searched);
    c.searched = c.input_length > 2 ? c.input_length - 2 : 0;
    if (end > 0) {
        http_request r;
        http_parse(input, end, r);
        answer_request(c, r, now);
    } else if (c.input_length == input_capacity) {
        c.client = "http";
        c.status = 431;
        c.why = "its request was too long";
        char text[http_text_capacity];
        answer_and_finish(c, text, http_error(text, 431, "the request is longer than 8 kB", false), now);
    }
}

void begin_http(connection& c, std::int64_t now)
{
    if (c.refusal) {
        refuse(c, true, now);
        return;
    }
    enter(c, at_http_request, now);
    read_request(c, now);
}

// Bytes gathered in the slot's input part (what does not fit is dropped).
void gather(connection& c, const unsigned char* bytes, int n)
{
    const int room = input_capacity - c.input_length;
    const int k = n < room ? n : room;
    std::memcpy(c.slot + queue_capacity + c.input_length, bytes, static_cast<std::size_t>(k));
    c.input_length += k;
    if (queue_capacity + c.input_length > c.high_water) c.high_water = queue_capacity + c.input_length;
}

void read_first_bytes(connection& c, std::int64_t now)
{
    const auto* input = reinterpret_cast<const unsigned char*>(c.slot + queue_capacity);
    const first_bytes_kind kind = first_bytes_sniff(input, c.input_length);
    if (kind == first_bytes_http) {
        begin_http(c, now);
    } else if (kind == first_bytes_telnet && !c.refusal) {
        // A client that negotiates first: the offers, then its bytes.
        offer_telnet(c, now);
        if (c.fd < 0) return;
        enter(c, at_telnet_settle, now);
        if (read_telnet(c, input, c.input_length, now) && c.at == at_telnet_settle && telnet_settled(c.telnet))
            start_viewer(c, true, now);
    }
}

void on_input(connection& c, const unsigned char* bytes, int n, std::int64_t now)
{
    switch (c.at) {
    case at_proxy_header: {
        gather(c, bytes, n);
        proxy_source source;
        const auto* input = reinterpret_cast<unsigned char*>(c.slot + queue_capacity);
        const int length = proxy_header_read(input, c.input_length, source);
        if (length < 0) {
            close_connection(c, "no valid PROXY header");
            return;
        }
        if (length == 0) return;
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
            log_line("#%u is %s (from the PROXY header)", c.number, address);
        }
        c.input_length -= length;
        std::memmove(c.slot + queue_capacity, c.slot + queue_capacity + length, static_cast<std::size_t>(c.input_length));
        admit(c, now);
        enter(c, at_first_bytes, now);
        c.opened_ns = now;  // the waits start from here
        if (c.input_length > 0) read_first_bytes(c, now);
        return;
    }
    case at_first_bytes:
        gather(c, bytes, n);
        read_first_bytes(c, now);
        return;
    case at_telnet_offer:
    case at_telnet_settle:
        if (!read_telnet(c, bytes, n, now)) return;
        if (c.at == at_telnet_offer && c.telnet.spoke) enter(c, at_telnet_settle, now);
        if (c.at == at_telnet_settle && telnet_settled(c.telnet)) start_viewer(c, true, now);
        return;
    case at_http_request:
        gather(c, bytes, n);
        read_request(c, now);
        return;
    case at_viewing:
        if (c.view.stage == stage_leaving) return;
        if (output_kind_at(c.view.kind).telnet) {
            read_telnet(c, bytes, n, now);
        } else if (c.client && !std::strcmp(c.client, "raw")) {
            session_input(c.view, bytes, n, now);
        }
        return;
    default:
        return;  // an answer going out: what the client says does not matter
    }
}

void on_readable(connection& c, std::int64_t now)
{
    unsigned char bytes[read_block];
    const ssize_t n = recv(c.fd, bytes, sizeof bytes, MSG_DONTWAIT);
    if (n > 0) {
        on_input(c, bytes, static_cast<int>(n), now);
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n < 0) {
        close_connection(c, "reset by the client");
        return;
    }
    // The client's end of input. A stream may be half-closed and still
    // read; an interactive viewer without keys, a request not yet whole, or
    // a connection past its answer is done.
    c.read_closed = true;
    watch(c);
    if (c.at == at_lingering) close_connection(c, c.why ? c.why : "the client closed");
    else if (c.at == at_http_request || c.at == at_proxy_header) close_connection(c, "the client closed before its request");
    else if (c.at == at_viewing && c.view.interactive) close_connection(c, "the client closed");
    else if (c.at == at_telnet_settle) close_connection(c, "the client closed");
}

void accept_connections(int listener, std::int64_t now)
{
    for (int k = 0; k < accepts_per_wake; ++k) {
        peer_name peer;
        const int fd = accept_one(listener, peer);
        if (fd < 0) return;
        int free_place = -1;
        if (open_count < capacity)
            for (int i = 0; i < capacity; ++i)
                if (connections[(next_number + i) % capacity].fd < 0) {
                    free_place = static_cast<int>((next_number + i) % capacity);
                    break;
                }
        char address[address_text_capacity];
        peer_text(peer, address);
        if (free_place < 0) {
            // Beyond even the room to refuse: closed at once.
            log_line("#%u open %s closed at once: no room", next_number++, address);
            close(fd);
            continue;
        }
        connection& c = connections[free_place];
        c.fd = fd;
        c.number = next_number++;
        c.peer = peer;
        c.opened_ns = c.progress_ns = now;
        ++open_count;
        poller_watch(fd, free_place, true, false);
        log_line("#%u open %s", c.number, address);
        if (opts.proxy_protocol) {
            enter(c, at_proxy_header, now);
        } else {
            admit(c, now);
            enter(c, at_first_bytes, now);
        }
    }
}

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
        if (session_tick(c.view, tick, now) == session_leave) {
            leave(c, nullptr, "q or ESC");
            return;
        }
    }
    if (c.view.stage == stage_leaving || !all_out(c)) return;  // the frame is still going out: skip to the newest
    const encoding out = session_frame(c.view, *encodings, tick, now, message);
    send_bytes(c, out.bytes, out.length);
}

void begin_stop(std::int64_t now)
{
    for (int i = 0; i < listener_count; ++i) {
        poller_forget(listeners[i], listener_token(i));
        close(listeners[i]);
    }
    listener_count = 0;
    log_line("stopping: giving %d connections back", open_count);
    for (int i = 0; i < capacity; ++i) {
        connection& c = connections[i];
        if (c.fd < 0) continue;
        if (c.at == at_viewing && c.view.stage != stage_leaving) leave(c, "the show's server is stopping", "the server stopped");
        else if (c.at != at_lingering && c.at != at_answering && c.at != at_viewing) close_connection(c, "the server stopped");
    }
    if (opts.ssh_listen) ssh_viewers_stop();
    (void)now;
}

// Open files for every connection, the listeners, and the rest.
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
                 opts.max_viewers, needed, static_cast<unsigned long long>(r.rlim_max));
    return false;
}

bool start(const serve_options& o)
{
    opts = o;
    // Room to refuse a few past the limit with a message, rather than close them at once.
    capacity = o.max_viewers + 64 + o.max_viewers / 16;
    // An ssh connection takes two: the server's and libssh's copy.
    if (!raise_file_limit(capacity * (o.ssh_listen ? 3 : 1) + 2 * listener_capacity + 32)) return false;
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
    if (pipe(wake_pipe) != 0 || !poller_open(ssh_token_base() + (o.ssh_listen ? ssh_token_count(capacity) : 0))) {
        std::fprintf(stderr, "glimfant: cannot set up the server: %s\n", std::strerror(errno));
        return false;
    }
    for (int fd : wake_pipe) {
        fcntl(fd, F_SETFL, O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    // One mapping for every connection's queue and input, taken by the
    // kernel only as far as each is used.
    void* p = mmap(nullptr, slot_bytes * static_cast<std::size_t>(capacity), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANON, -1, 0);
    if (p == MAP_FAILED) {
        std::fprintf(stderr, "glimfant: cannot map %d connections' queues: %s\n", capacity, std::strerror(errno));
        return false;
    }
    pool = static_cast<char*>(p);
    connections = new connection[static_cast<std::size_t>(capacity)]();  // zeroed, fd -1: a slot starts as a closed one leaves it
    for (int i = 0; i < capacity; ++i) connections[i].slot = pool + slot_bytes * static_cast<std::size_t>(i);
    limits_init(limits, o.max_per_address, o.max_new_per_minute, capacity);
    frames = show_frames_render();
    encodings = new frame_encodings{};
    encodings_init(*encodings, frames, o.codepage);
    if (o.ssh_listen) {
        ssh_setup ssh;
        ssh.listen = o.ssh_listen;
        ssh.host_key = o.ssh_host_key;
        ssh.capacity = capacity;
        ssh.token_base = ssh_token_base();
        ssh.max_viewers = o.max_viewers;
        ssh.admitted = &admitted_count;
        ssh.limits = &limits;
        ssh.next_number = &next_number;
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
        if (i == 0) listen_port = std::atoi(std::strrchr(name, ':') + 1);
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
        if (stop_at >= 0 && ((open_count == 0 && ssh_open() == 0) || now - stop_at > stop_grace_ns)) break;
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
            } else if (token >= capacity) {
                if (token - capacity < listener_count) accept_connections(listeners[token - capacity], now);
            } else {
                connection& c = connections[token];
                if (c.fd >= 0 && events[i].writable) flush(c);
                if (c.fd >= 0 && events[i].readable && !c.read_closed) on_readable(c, now);
            }
        }
        if (now < next_tick_ns) continue;
        // A late tick skips to the newest: the showings keep to the clock.
        tick = (now - tick0_ns) / (frame_ms * ms);
        next_tick_ns = tick0_ns + (tick + 1) * frame_ms * ms;
        encodings_new_tick(*encodings);
        for (int i = 0; i < capacity; ++i)
            if (connections[i].fd >= 0) tick_connection(connections[i], now, stall_ns);
        if (o.ssh_listen) ssh_viewers_tick(tick, now, *encodings);
        if (now >= next_purge) {
            limits_purge(limits, now);
            next_purge = now + 1000 * ms;
        }
    }
    for (int i = 0; i < capacity; ++i)
        if (connections[i].fd >= 0) close_connection(connections[i], "the server stopped");
    if (o.ssh_listen) ssh_viewers_end();
    log_line("stopped");
    return 0;
}
