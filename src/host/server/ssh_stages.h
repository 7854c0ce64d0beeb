// The stages of an ssh connection: its set-up (a PROXY header, libssh's
// session, the key exchange, the login, the channel and its pty), the
// show's start at the shell, the viewer's keys and window changes, a line
// for a client that gets no show, and the closing.
#pragma once

#include "host/server/ssh_connections.h"

// Counts c in the limits (or marks it to be refused at its shell) and hands
// its socket to libssh for the key exchange.
void start_session(ssh_connection& c);
// c's socket is ready: its stage's step, then what the client asked for acted on.
void on_connection_event(ssh_connection& c);
// Gives the terminal back (and says why when line is not null), then closes.
void leave(ssh_connection& c, const char* line, const char* why);
// What is queued goes; then the channel's end (its status, EOF and close);
// then, once all is out, the connection when the client has closed its
// end or the closing limit has passed.
void advance_closing(ssh_connection& c);
// The keys and window changes that came while libssh read, to the viewer.
void take_requests(ssh_connection& c);
