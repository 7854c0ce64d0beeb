#include "host/server/ssh_requests.h"

#include <libssh/server.h>

#include <cstdio>
#include <cstring>

#include "host/server/server_log.h"

namespace {

ssh_requests& of(void* data) { return *static_cast<ssh_requests*>(data); }

int on_auth_none(ssh_session, const char*, void*) { return SSH_AUTH_SUCCESS; }  // any user, no password

int on_pty(ssh_session, ssh_channel, const char* term, int width, int height, int, int, void* data)
{
    ssh_requests& r = of(data);
    if (r.shell) return 1;
    r.pty = true;
    std::snprintf(r.term, sizeof r.term, "%s", term ? term : "");
    r.columns = width;
    r.rows = height;
    return 0;
}

int on_window_change(ssh_session, ssh_channel, int width, int height, int, int, void* data)
{
    ssh_requests& r = of(data);
    r.columns = width;
    r.rows = height;
    r.resized = true;
    return 0;
}

int on_shell(ssh_session, ssh_channel, void* data)
{
    ssh_requests& r = of(data);
    if (r.shell || r.refused) return 1;
    r.shell = true;
    return 0;
}

// A command or a subsystem: refused, and nothing else will come of the connection.
int refuse(ssh_requests& r, const char* what, const char* why)
{
    log_line("#%u refused %s", r.number, what);
    if (!r.refused && !r.shell) r.refused = why;
    return 1;
}

int on_exec(ssh_session, ssh_channel, const char*, void* data)
{
    return refuse(of(data), "a command", "it asked to run a command");
}

int on_subsystem(ssh_session, ssh_channel, const char*, void* data)
{
    return refuse(of(data), "a subsystem", "it asked for a subsystem");
}

void on_agent(ssh_session, ssh_channel, void* data) { log_line("#%u refused agent forwarding", of(data).number); }

int on_data(ssh_session, ssh_channel, void* bytes, std::uint32_t n, int is_stderr, void* data)
{
    ssh_requests& r = of(data);
    const int room = ssh_input_room - r.input_length;
    const int k = is_stderr ? 0 : static_cast<int>(n) < room ? static_cast<int>(n) : room;
    std::memcpy(r.input + r.input_length, bytes, static_cast<std::size_t>(k));
    r.input_length += k;
    return static_cast<int>(n);  // all taken: the channel's window stays open
}

void on_eof(ssh_session, ssh_channel, void* data) { of(data).client_eof = true; }
void on_close(ssh_session, ssh_channel, void* data) { of(data).client_closed = true; }

ssh_channel on_session_channel(ssh_session session, void* data)
{
    ssh_requests& r = of(data);
    if (r.channel) {
        log_line("#%u refused a second session", r.number);
        return nullptr;
    }
    r.channel = ssh_channel_new(session);
    if (!r.channel) return nullptr;
    ssh_channel_callbacks_struct& k = r.channel_calls;
    k = ssh_channel_callbacks_struct{};
    ssh_callbacks_init(&k);
    k.userdata = &r;
    k.channel_data_function = on_data;
    k.channel_eof_function = on_eof;
    k.channel_close_function = on_close;
    k.channel_pty_request_function = on_pty;
    k.channel_shell_request_function = on_shell;
    k.channel_auth_agent_req_function = on_agent;
    k.channel_pty_window_change_function = on_window_change;
    k.channel_exec_request_function = on_exec;
    k.channel_subsystem_request_function = on_subsystem;
    ssh_set_channel_callbacks(r.channel, &k);
    return r.channel;
}

// Every request the callbacks above do not take: libssh's default answer,
// which is no (and, for the login's service request, yes); the forwarding
// ones named in the log.
int on_other_request(ssh_session, ssh_message m, void* data)
{
    const char* what = nullptr;
    const int type = ssh_message_type(m), subtype = ssh_message_subtype(m);
    if (type == SSH_REQUEST_CHANNEL_OPEN) {
        if (subtype == SSH_CHANNEL_DIRECT_TCPIP || subtype == SSH_CHANNEL_FORWARDED_TCPIP) what = "port forwarding";
        else if (subtype == SSH_CHANNEL_X11) what = "X11 forwarding";
        else if (subtype == SSH_CHANNEL_AUTH_AGENT) what = "agent forwarding";
    } else if (type == SSH_REQUEST_CHANNEL && subtype == SSH_CHANNEL_REQUEST_X11) {
        what = "X11 forwarding";
    } else if (type == SSH_REQUEST_GLOBAL && subtype == SSH_GLOBAL_REQUEST_TCPIP_FORWARD) {
        what = "port forwarding";
    }
    if (what) log_line("#%u refused %s", of(data).number, what);
    return 1;
}

}  // namespace

void ssh_requests_watch(ssh_requests& r, ssh_session session)
{
    ssh_server_callbacks_struct& s = r.server_calls;
    s = ssh_server_callbacks_struct{};
    ssh_callbacks_init(&s);
    s.userdata = &r;
    s.auth_none_function = on_auth_none;
    s.channel_open_request_session_function = on_session_channel;
    ssh_set_server_callbacks(session, &s);
    ssh_set_message_callback(session, on_other_request, &r);
    ssh_set_auth_methods(session, SSH_AUTH_METHOD_NONE);
}
