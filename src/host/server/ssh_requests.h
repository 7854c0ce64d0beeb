// What an ssh client asks for, as libssh reads its packets: the login, the
// session channel, its pty, window changes, the shell, the viewer's keys.
// libssh calls these from inside its reads and writes, so they only take
// note in the connection's record; the server acts on the notes once libssh
// has returned (ssh_stages.cpp). Any user name logs in with no password
// (the "none" method). One session channel a connection; a command, a
// subsystem, ports forwarded either way, X11 and the agent are refused (the
// last never answered: the client asks without waiting) and named in the log.
#pragma once
#include <libssh/callbacks.h>
#include <libssh/libssh.h>

#include <cstdint>

inline constexpr int ssh_term_capacity = 64;
inline constexpr int ssh_input_room = 256;  // keys and terminal answers between two looks; more is dropped

struct ssh_requests {
    std::uint32_t number;           // the connection's, for the log
    ssh_channel channel;            // the session channel, once open
    bool pty;                       // a pty was asked for: term, columns and rows are its
    bool shell;                     // the shell was asked for: the show may begin
    bool resized;                   // a window change since the last look
    bool client_eof, client_closed; // the client's end of input, and its close, on the channel
    const char* refused;            // why the connection ends: it asked for a command or a subsystem
    char term[ssh_term_capacity];   // as the client sent it
    int columns, rows;              // 0 when it gave none
    unsigned char input[ssh_input_room];  // the channel's bytes since the last look
    int input_length;
    ssh_server_callbacks_struct server_calls;   // libssh keeps pointers to both
    ssh_channel_callbacks_struct channel_calls;
};

// Notes session's requests into r from now on (before the key exchange);
// r must stay where it is while the session lives.
void ssh_requests_watch(ssh_requests& r, ssh_session session);
