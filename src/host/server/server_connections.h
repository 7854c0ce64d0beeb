// A served connection's record, the table of them all with what the
// server's modules share, and the bytes out: each connection sends through a
// queue of at most a frame, then the file it answers with, as far as its
// socket takes them; what is left goes when the socket can take more.
#pragma once
#include <cstddef>
#include <cstdint>

#include "host/server/net_sockets.h"
#include "host/server/serve_options.h"
#include "serve/address_limits.h"
#include "serve/frame_encodings.h"
#include "serve/http_request.h"
#include "serve/telnet_protocol.h"
#include "serve/viewer_session.h"

inline constexpr int queue_capacity = viewer_queue_bytes;  // a connection's queue, at the start of its slot
inline constexpr int input_capacity = http_head_limit;  // the first bytes, a PROXY header, an HTTP request
inline constexpr std::size_t slot_bytes = queue_capacity + input_capacity;  // a connection's part of the pool

// Where a connection is, from its accept to its close.
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

// One connection, a place in the table; a free place has fd -1.
struct connection {
    int fd = -1;           // the socket
    std::uint32_t number;  // the connection's number in the log
    peer_name peer;        // the client's address (the PROXY header's when there is one)
    stage at;              // where it is
    const char* client;    // for the log: telnet, raw, http, curl
    bool admitted;         // counted in the limits
    const char* refusal;   // past a limit: said so, then closed
    bool finish;           // shut down once the queue and the body are out
    bool read_closed;      // the client has ended its input
    bool want_write;       // watched for writing: the socket did not take all
    // When it opened (or its PROXY header came), entered its stage, last sent a byte.
    std::int64_t opened_ns, stage_ns, progress_ns;
    char* slot;            // queue_capacity bytes of queue, then input_capacity of input
    int queue_from, queue_to;  // the queue's bytes not yet sent
    int input_length, searched;  // input gathered; how far the request's end has been looked for
    int high_water;        // bytes of the slot ever touched
    const char* body;      // a file sent after the queue
    std::size_t body_size, body_sent;  // the file's bytes, and how many are sent
    std::uint64_t bytes_out;  // sent, for the log
    int status;            // the HTTP answer's status, for the log
    char path[40];         // the HTTP request's file, escaped, for the log
    const char* why;       // why it closed
    telnet_session telnet;  // the telnet negotiation, for a telnet client
    viewer_session view;    // the show as this viewer sees it
};

// What the server's modules share; one for the process, set up by
// serve_show before the first connection.
struct server_state {
    serve_options opts;                 // as serve_show was given them
    connection* connections = nullptr;  // capacity of them
    int capacity = 0;                   // connections: max_viewers and room to refuse more
    int open_count = 0;                 // connections open
    int admitted_count = 0;             // connections counted in the limits, ssh's among them
    std::uint32_t next_number = 1;      // the next connection's number in the log, ssh's among them
    int listen_port = 0;                // the first listener's port, for the page that says how to watch
    address_limits limits;              // connections by address
    std::int64_t tick = 0;              // the frame every showing is at, counted from the server's start
};
extern server_state server;  // the process's one server

// Nothing of c's left to send: its queue is empty and its file sent.
bool all_out(const connection& c);
// Tells the poller what c waits for: reading until its input ended, writing
// while it has bytes the socket did not take.
void watch(connection& c);
// Logs c's close and why (the first why given wins), gives its place in the
// limits back, closes its socket and frees its place in the table.
void close_connection(connection& c, const char* why);
// Once c is to finish and all is out: shut for writing, and lingering for
// the client's own close.
void finish_if_done(connection& c);
// Sends the queue, then the body, as far as the socket takes them; false
// when the connection is gone (and closed).
bool flush(connection& c);
// Sends bytes after what is queued: straight to the socket when nothing is,
// the rest into the queue. False when the connection is gone (and closed).
bool send_bytes(connection& c, const char* bytes, int n);
// c enters stage s at now (its stage's waits count from then).
void enter(connection& c, stage s, std::int64_t now);
// An answer that ends the connection: sent, then the connection is shut.
void answer_and_finish(connection& c, const char* bytes, int n, std::int64_t now);
// Gives the viewer's terminal back (with line, when not null, saying why),
// then finishes; why goes in the log.
void leave(connection& c, const char* line, const char* why);
