// An ssh connection's record, what the ssh side's modules share, and its
// bytes out through the channel: what the channel's window does not take
// waits in a queue of at most a frame, and libssh holds what the socket has
// not taken yet.
#pragma once
#include <libssh/libssh.h>
#include <libssh/server.h>

#include <cstdint>

#include "host/server/net_sockets.h"
#include "host/server/ssh_requests.h"
#include "host/server/ssh_setup.h"
#include "serve/viewer_session.h"

// Where an ssh connection is, from its accept to its close.
enum ssh_stage : std::uint8_t {
    at_proxy_header,  // waiting for the PROXY header
    at_key_exchange,  // the versions and the keys
    at_login,         // authentication, then the channel, its pty and its shell
    at_viewing,       // the show
    at_closing,       // what is queued goes out, the channel is closed, then the connection
};

// One connection, a place in the table; a free place has fd -1.
struct ssh_connection {
    int fd = -1;                   // the poller's; libssh closes a copy of its own
    peer_name peer;                // the client's address (the PROXY header's when there is one)
    ssh_stage at;                  // where it is
    bool admitted;                 // counted in the limits
    const char* refusal;           // past a limit: said at its shell, then closed
    bool want_write;               // watched for writing: libssh holds bytes for the socket
    bool read_paused;              // a PROXY header not yet whole: read again at the tick
    bool interrupt;                // Ctrl-C came
    bool channel_ended;            // its exit status, EOF and close sent
    int exit_status;               // sent to the client as the shell's at the channel's end
    ssh_session session;           // libssh's side of it, from the key exchange on
    ssh_counter_struct counter;    // the bytes through the socket
    ssh_requests asked;            // what the client asked for (the channel, its pty ...)
    // When it opened (or its PROXY header came), entered its stage, last sent a byte.
    std::int64_t opened_ns, stage_ns, progress_ns;
    std::uint64_t out_seen;        // counter.out_bytes at the last look
    char* queue;                   // viewer_queue_bytes: what the channel's window did not take
    int queue_from, queue_to, high_water;  // the queue's bytes not yet sent; its most ever held
    const char* why;               // why it closed
    viewer_session view;           // the show as this viewer sees it
};

// What the ssh side's modules share; one for the process, set up by
// ssh_viewers_start.
struct ssh_state {
    ssh_setup setup;                        // as ssh_viewers_start was given it
    ssh_bind binder = nullptr;              // libssh's server side: each accepted socket's session starts here
    ssh_connection* connections = nullptr;  // setup.capacity of them
    int open_count = 0;                     // connections open
    std::int64_t current_tick = 0;          // the server's tick being handled
    std::int64_t current_ns = 0;            // the time of the event or tick being handled, for the callbacks
};
extern ssh_state ssh_server;  // the process's one ssh side

// c's token with the poller.
int token_of(const ssh_connection& c);
// Bytes waiting in c's queue.
int queued(const ssh_connection& c);
// libssh holds bytes the socket has not taken yet.
bool pending(const ssh_connection& c);
// Nothing of c's left to send, in its queue or in libssh.
bool all_out(const ssh_connection& c);
// The client is gone, or has ended its input where it was the keys (a
// stream may end its input and still watch).
bool broken(const ssh_connection& c);
// c enters stage s now (its waits count from then).
void enter(ssh_connection& c, ssh_stage s);
// Logs c's close and why (the first why given wins), gives its place in the
// limits back, frees its session and closes its socket (reset: with a reset).
void close_connection(ssh_connection& c, const char* why, bool reset = false);
// Watches the socket for writing while libssh holds bytes for it. (What the
// channel's window holds back waits for the client's window adjustment, a read.)
void watch(ssh_connection& c);
// Bytes that went through the socket since the last look count as progress.
void note_progress(ssh_connection& c);
// Sends the queue as far as the window takes it; false when the channel is gone.
bool flush_queue(ssh_connection& c);
// Sends bytes after what is queued, the rest into the queue (at most
// viewer_queue_bytes); false when they could not be kept (the caller closes).
bool send_bytes(ssh_connection& c, const char* bytes, int n);
