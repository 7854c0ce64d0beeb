// Keys from the terminal's byte stream, and the answers to the link's status
// requests that arrive among them. A lone ESC byte is the ESC key; an ESC
// followed at once by more bytes starts an escape sequence (an arrow or
// function key, Alt with a key): the arrows and Page Up/Down seek, the others
// are just keys. Only the forms no
// key sends count as answers: device attributes (CSI ? ... c) and the status
// report (CSI 0 n); rxvt's Shift+Right is CSI c, a key. No system calls: the
// times are given.
#pragma once
#include <cstdint>

// How long an ESC must stand alone to count as the key.
inline constexpr std::uint32_t lone_escape_ms = 25;
// The same while the terminal owes an answer to a status request, whose
// first byte is an ESC too: an answer cut in two on a slow link is not a key.
inline constexpr std::uint32_t reply_escape_ms = 100;

enum key_state { key_plain, key_after_escape, key_in_csi, key_after_ss3 };

struct key_decoder {
    key_state state = key_plain;   // where the decoder is in an escape sequence
    std::uint32_t escape_tick = 0; // tick count when that sequence's ESC came
    bool space = false;            // SPACE seen; the taker clears it
    bool quit = false;             // ESC or 'q' seen; stays set
    bool pause = false;            // 'p' seen; the taker clears it
    int seek = 0;                  // right arrow or Page Down +1, left arrow or Page Up -1; the taker clears it
    bool any = false;              // any key seen (not an answer); the taker clears it
    int csi_number = 0;            // the first number of the sequence under way; 1000 past a ';'
    unsigned char csi_first = 0;   // the first byte after CSI in the sequence being read, 0 before it
    bool csi_only_first = false;   // that byte is the only one so far
    int replies = 0;               // answers to status requests seen (CSI ? ... c, CSI 0 n); counts up
    int replies_due = 0;           // answers still to come; set by the taker
};

// Decodes bytes that arrived at tick count now.
void keys_feed(key_decoder& keys, const unsigned char* bytes, int count, std::uint32_t now);
// An ESC alone for lone_escape_ms (reply_escape_ms while replies are due) is
// the key; a sequence cut off that long is dropped.
void keys_settle(key_decoder& keys, std::uint32_t now);
// Milliseconds until keys_settle can change something; -1 when nothing is pending.
int keys_settle_in(const key_decoder& keys, std::uint32_t now);
