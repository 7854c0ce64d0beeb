// Telnet as a viewer's client speaks it: the server offers to echo and to
// suppress go-ahead (so the client sends each key as it is typed) and asks
// for the window size (NAWS) and the terminal type (TTYPE); the client's
// answers, its subnegotiations and the data bytes between them are read
// here. No system calls: bytes in, the keys and the replies out.
#pragma once
#include <cstdint>

inline constexpr std::uint8_t telnet_iac = 255;
inline constexpr std::uint8_t telnet_dont = 254;
inline constexpr std::uint8_t telnet_do = 253;
inline constexpr std::uint8_t telnet_wont = 252;
inline constexpr std::uint8_t telnet_will = 251;
inline constexpr std::uint8_t telnet_sb = 250;
inline constexpr std::uint8_t telnet_interrupt = 244;  // IP
inline constexpr std::uint8_t telnet_break = 243;      // BRK
inline constexpr std::uint8_t telnet_se = 240;
inline constexpr std::uint8_t telnet_echo = 1;
inline constexpr std::uint8_t telnet_sga = 3;
inline constexpr std::uint8_t telnet_ttype = 24;
inline constexpr std::uint8_t telnet_naws = 31;

// A subnegotiation longer than this ends the connection.
inline constexpr int telnet_subnegotiation_limit = 512;
inline constexpr int telnet_term_capacity = 48;  // a terminal type's bytes kept, with the NUL
// Room to leave for replies beyond the count of bytes fed: a reply is never
// longer than what asked for it, but for the one TTYPE SEND.
inline constexpr int telnet_reply_extra = 16;

// The server's opening: WILL ECHO, WILL SGA, DO NAWS, DO TTYPE, then a
// carriage return and an erase to the line's end, which wipe the offers
// from the screen of a client that shows them as text (netcat).
extern const unsigned char telnet_offers[];
extern const int telnet_offers_length;

// The state of an option: off, asked for (our WILL or DO is out), on.
enum telnet_option_state : std::uint8_t { option_off, option_asked, option_on };

struct telnet_session {
    std::uint8_t state = 0;          // where the reader is: data, after IAC, after a verb, in a subnegotiation
    std::uint8_t verb = 0;           // WILL, WONT, DO or DONT being read
    bool spoke = false;              // the client sent a command: it is a telnet client
    bool interrupt = false;          // IP, BRK or Ctrl-C came
    bool overflow = false;           // a subnegotiation passed the limit: the caller closes
    bool after_cr = false;           // the last data byte was CR (a NUL after it is dropped)
    telnet_option_state echo = option_off, sga = option_off;  // ours
    telnet_option_state naws = option_off, ttype = option_off;  // the client's
    bool term_asked = false;         // SEND went out (once a connection)
    bool term_done = false;          // TTYPE answered or refused
    int columns = 0, rows = 0;       // from NAWS; 0 before the first
    int sizes = 0;                   // NAWS subnegotiations read (each may be a resize)
    char term[telnet_term_capacity] = {};  // from TTYPE IS, lower case; "" before
    std::uint8_t refused[2][32] = {};      // [0] options we said WONT to, [1] DONT to: once each
    std::uint8_t sub[telnet_subnegotiation_limit];  // the subnegotiation being read, its option first
    int sub_length = 0;
};

// Marks the offers as sent (telnet_offers): ECHO and SGA asked, NAWS and TTYPE asked.
void telnet_offered(telnet_session& t);

// Reads count bytes from the client. The data bytes (keys, less the NUL
// after a CR) go to data, which has room for count; replies go to reply,
// which has room for count + telnet_reply_extra. Returns the data bytes;
// *reply_length is set to the reply bytes. Stops reading on overflow.
int telnet_feed(telnet_session& t, const unsigned char* bytes, int count, unsigned char* data,
                unsigned char* reply, int* reply_length);

// Telnet's framing of bytes for the client: each IAC doubled, each CR not
// followed by LF followed by NUL. out has room for 2 * count; returns its length.
int telnet_frame(const char* bytes, int count, char* out);
