#include "host/server/ssh_stages.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/server/event_poll.h"
#include "host/server/server_log.h"
#include "host/server/terminal_types.h"
#include "serve/proxy_header.h"

namespace {

constexpr std::int64_t ms = 1000000;
constexpr std::int64_t closing_limit_ns = 1000 * ms;  // after the channel's close, for the client's own
constexpr unsigned char control_c = 0x03;

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
    if (peer_from_proxy(c.peer, source)) {
        char address[address_text_capacity];
        peer_text(c.peer, address);
        log_line("#%u is %s (from the PROXY header)", c.asked.number, address);
    }
    c.opened_ns = ssh_server.current_ns;  // the waits start from here
    start_session(c);
}

// The show begins at the shell: the terminal's type and size from the pty
// request, as for telnet; without a pty, the stream netcat gets.
void start_viewer(ssh_connection& c)
{
    output_kind kind;
    kind.raw_bytes = ssh_server.setup.code_page_bytes;
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
    session_start(c.view, kind, r.pty, columns, rows, ssh_server.current_tick);
    c.asked.resized = false;
    c.asked.input_length = 0;  // what came before the show is no key
    enter(c, at_viewing);
    char text[session_text_room];
    if (!send_bytes(c, text, session_opening(c.view, text, ssh_server.current_ns)))
        close_connection(c, "its queue overflowed");
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

}  // namespace

void start_session(ssh_connection& c)
{
    if (*ssh_server.setup.admitted >= ssh_server.setup.max_viewers) {
        c.refusal = "the show has as many viewers as it takes; try again later";
    } else {
        c.refusal = limits_admit(*ssh_server.setup.limits, c.peer.address, ssh_server.current_ns);
        if (!c.refusal) {
            c.admitted = true;
            ++*ssh_server.setup.admitted;
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
    if (ssh_bind_accept_fd(ssh_server.binder, c.session, copy) != SSH_OK) {
        close(copy);
        close_connection(c, "libssh did not take it");
        return;
    }
    enter(c, at_key_exchange);
}

void leave(ssh_connection& c, const char* line, const char* why)
{
    c.why = why;
    char text[session_text_room];
    const int n = session_closing(c.view, line, text);
    enter(c, at_closing);
    if (!send_bytes(c, text, n)) close_connection(c, "its queue overflowed");
}

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
    if (!pending(c) && (broken(c) || ssh_server.current_ns - c.stage_ns > closing_limit_ns)) close_connection(c, "done");
}

void take_requests(ssh_connection& c)
{
    ssh_requests& r = c.asked;
    if (c.view.stage != stage_leaving) {
        if (r.resized) session_resize(c.view, r.columns, r.rows);
        // Ctrl-C leaves, as telnet's interrupt does: the viewer's terminal sends it as a byte.
        if (std::memchr(r.input, control_c, static_cast<std::size_t>(r.input_length))) c.interrupt = true;
        if (r.input_length > 0) session_input(c.view, r.input, r.input_length, ssh_server.current_ns);
    }
    r.resized = false;
    r.input_length = 0;
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
