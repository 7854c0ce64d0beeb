#include "host/server/server_reading.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "host/server/server_admission.h"
#include "host/server/server_log.h"
#include "host/server/terminal_types.h"
#include "host/server/web_page.h"
#include "serve/first_bytes.h"
#include "serve/http_request.h"
#include "serve/proxy_header.h"
#include "serve/telnet_protocol.h"
#include "serve/viewer_session.h"

namespace {

constexpr int read_block = 16 * 1024;  // read at most this much a connection a wake-up

bool telnet_settled(const telnet_session& t)
{
    const bool size = t.sizes > 0 || t.naws == option_off;
    const bool type = t.term_done || t.ttype == option_off;
    return size && type;
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
        kind.raw_bytes = server.opts.code_page_bytes;
        kind.stream = true;
        session_start(c.view, kind, false, screen_width, screen_height, server.tick);
        enter(c, at_viewing, now);
        return;
    }
    c.why = "answered";
    if (!*r.name && !web_page_loaded()) {
        c.status = 200;
        int head_length = 0;
        const int n = http_how_to_watch(head, r.host, server.listen_port, &head_length);
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
        if (peer_from_proxy(c.peer, source)) {
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

}  // namespace

void offer_telnet(connection& c, std::int64_t now)
{
    telnet_offered(c.telnet);
    enter(c, at_telnet_offer, now);
    send_bytes(c, reinterpret_cast<const char*>(telnet_offers), telnet_offers_length);
}

void start_viewer(connection& c, bool telnet, std::int64_t now)
{
    output_kind kind;
    kind.raw_bytes = server.opts.code_page_bytes;
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
    session_start(c.view, kind, telnet, columns, rows, server.tick);
    enter(c, at_viewing, now);
    char text[session_text_room];
    send_bytes(c, text, session_opening(c.view, text, now));
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
