#include "host/server/ssh_viewers.h"

#include <libssh/libssh.h>
#include <libssh/server.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/server/event_poll.h"
#include "host/server/server_log.h"
#include "host/server/ssh_connections.h"
#include "host/server/ssh_host_key.h"
#include "host/server/ssh_stages.h"
#include "serve/viewer_session.h"

namespace {

constexpr std::int64_t ms = 1000000;
constexpr std::int64_t session_limit_ns = std::int64_t{2} * 3600 * 1000 * ms;
constexpr int accepts_per_wake = 64;

char* pool = nullptr;
int listeners[listener_capacity];
int listener_count = 0;
char message[encoding_capacity];  // a too-small message being sent

void accept_connections(int listener)
{
    for (int k = 0; k < accepts_per_wake; ++k) {
        peer_name peer;
        const int fd = accept_one(listener, peer);
        if (fd < 0) return;
        const std::uint32_t number = (*ssh_server.setup.next_number)++;
        char address[address_text_capacity];
        peer_text(peer, address);
        int place = -1;
        if (ssh_server.open_count < ssh_server.setup.capacity)
            for (int i = 0; i < ssh_server.setup.capacity; ++i)
                if (ssh_server.connections[(number + static_cast<std::uint32_t>(i)) % ssh_server.setup.capacity].fd < 0) {
                    place = static_cast<int>((number + static_cast<std::uint32_t>(i)) % ssh_server.setup.capacity);
                    break;
                }
        if (place < 0) {
            log_line("#%u open %s ssh closed at once: no room", number, address);
            close(fd);
            continue;
        }
        ssh_connection& c = ssh_server.connections[place];
        c.fd = fd;
        c.asked.number = number;
        c.peer = peer;
        c.opened_ns = c.progress_ns = ssh_server.current_ns;
        ++ssh_server.open_count;
        poller_watch(fd, token_of(c), true, false);
        log_line("#%u open %s ssh", c.asked.number, address);
        if (ssh_server.setup.proxy_protocol) {
            enter(c, at_proxy_header);
        } else {
            start_session(c);
            if (c.fd >= 0) on_connection_event(c);  // the server's version goes out at once
        }
    }
}

void tick_connection(ssh_connection& c, std::int64_t stall_ns, frame_encodings& e)
{
    const std::int64_t age = ssh_server.current_ns - c.opened_ns;
    if (c.at < at_viewing) {
        if (age > static_cast<std::int64_t>(ssh_server.setup.login_limit_s) * 1000 * ms) {
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
    if (!all_out(c) && ssh_server.current_ns - c.progress_ns > stall_ns) {
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
        if (session_tick(c.view, ssh_server.current_tick, ssh_server.current_ns) == session_leave) {
            leave(c, nullptr, "q or ESC");
            return;
        }
    }
    if (!flush_queue(c)) {
        close_connection(c, "the client closed");
        return;
    }
    if (all_out(c)) {  // else the frame is still going out: skip to the newest
        const encoding out = session_frame(c.view, e, ssh_server.current_tick, ssh_server.current_ns, message);
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
    ssh_server.setup = s;
    char why[512];
    ssh_key key = ssh_host_key_load(s.host_key, why, sizeof why);
    if (!key) {
        std::fprintf(stderr, "glimfant: %s\n", why);
        return false;
    }
    char fingerprint[128];
    ssh_host_key_fingerprint(key, fingerprint, sizeof fingerprint);
    ssh_set_log_level(SSH_LOG_NOLOG);  // the server's log is its own: a line a connection
    ssh_server.binder = ssh_bind_new();
    bool no = false;
    int quiet = SSH_LOG_NOLOG;
    if (!ssh_server.binder || ssh_bind_options_set(ssh_server.binder, SSH_BIND_OPTIONS_PROCESS_CONFIG, &no) != SSH_OK ||
        ssh_bind_options_set(ssh_server.binder, SSH_BIND_OPTIONS_LOG_VERBOSITY, &quiet) != SSH_OK ||
        ssh_bind_options_set(ssh_server.binder, SSH_BIND_OPTIONS_IMPORT_KEY, key) != SSH_OK) {  // the bind owns the key
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
    ssh_server.connections = new ssh_connection[static_cast<std::size_t>(s.capacity)]();  // zeroed, fd -1
    for (int i = 0; i < s.capacity; ++i)
        ssh_server.connections[i].queue = pool + static_cast<std::size_t>(viewer_queue_bytes) * static_cast<std::size_t>(i);
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
    ssh_server.current_ns = now_ns;
    if (token < listener_capacity) {
        if (token < listener_count && readable) accept_connections(listeners[token]);
        return;
    }
    ssh_connection& c = ssh_server.connections[token - listener_capacity];
    if (c.fd >= 0 && (readable || writable)) on_connection_event(c);
}

void ssh_viewers_tick(std::int64_t tick, std::int64_t now_ns, frame_encodings& e)
{
    ssh_server.current_tick = tick;
    ssh_server.current_ns = now_ns;
    const std::int64_t stall_ns = static_cast<std::int64_t>(ssh_server.setup.stall_limit_s) * 1000 * ms;
    for (int i = 0; i < ssh_server.setup.capacity && ssh_server.connections; ++i)
        if (ssh_server.connections[i].fd >= 0) tick_connection(ssh_server.connections[i], stall_ns, e);
}

void ssh_viewers_stop()
{
    for (int i = 0; i < listener_count; ++i) {
        poller_forget(listeners[i], ssh_server.setup.token_base + i);
        close(listeners[i]);
    }
    listener_count = 0;
    for (int i = 0; i < ssh_server.setup.capacity && ssh_server.connections; ++i) {
        ssh_connection& c = ssh_server.connections[i];
        if (c.fd < 0 || c.at == at_closing) continue;
        if (c.at == at_viewing && c.view.stage != stage_leaving) leave(c, "the show's server is stopping", "the server stopped");
        else close_connection(c, "the server stopped");
    }
}

int ssh_viewers_open() { return ssh_server.open_count; }

void ssh_viewers_end()
{
    for (int i = 0; i < ssh_server.setup.capacity && ssh_server.connections; ++i)
        if (ssh_server.connections[i].fd >= 0) close_connection(ssh_server.connections[i], "the server stopped");
    for (int i = 0; i < listener_count; ++i) close(listeners[i]);
    listener_count = 0;
    if (ssh_server.binder) ssh_bind_free(ssh_server.binder);
    ssh_server.binder = nullptr;
    delete[] ssh_server.connections;
    ssh_server.connections = nullptr;
    if (pool)
        munmap(pool, static_cast<std::size_t>(viewer_queue_bytes) * static_cast<std::size_t>(ssh_server.setup.capacity));
    pool = nullptr;
}
