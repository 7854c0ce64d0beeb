#include "serve/telnet_protocol.h"

const unsigned char telnet_offers[] = {telnet_iac, telnet_will, telnet_echo, telnet_iac, telnet_will, telnet_sga,
                                       telnet_iac, telnet_do,   telnet_naws, telnet_iac, telnet_do,   telnet_ttype,
                                       '\r',       0x1b,        '[',         'K'};
const int telnet_offers_length = sizeof telnet_offers;

namespace {

enum reader_state : std::uint8_t { in_data, after_iac, after_verb, in_sub, in_sub_after_iac };

constexpr std::uint8_t ttype_is = 0, ttype_send = 1;
constexpr std::uint8_t ctrl_c = 3;

struct replies {
    unsigned char* out;
    int length;
};

void put3(replies& r, std::uint8_t verb, std::uint8_t option)
{
    r.out[r.length++] = telnet_iac;
    r.out[r.length++] = verb;
    r.out[r.length++] = option;
}

void ask_term(replies& r)
{
    const unsigned char send[] = {telnet_iac, telnet_sb, telnet_ttype, ttype_send, telnet_iac, telnet_se};
    for (unsigned char b : send) r.out[r.length++] = b;
}

// Refuses an option we do not have, once: a client that asks again is not
// answered again, so no two ends can loop.
void refuse(telnet_session& t, replies& r, int which, std::uint8_t option)
{
    std::uint8_t& bits = t.refused[which][option >> 3];
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << (option & 7));
    if (bits & bit) return;
    bits |= bit;
    put3(r, which == 0 ? telnet_wont : telnet_dont, option);
}

telnet_option_state* ours(telnet_session& t, std::uint8_t option)
{
    return option == telnet_echo ? &t.echo : option == telnet_sga ? &t.sga : nullptr;
}

telnet_option_state* theirs(telnet_session& t, std::uint8_t option)
{
    return option == telnet_naws ? &t.naws : option == telnet_ttype ? &t.ttype : nullptr;
}

// A verb about an option. An answer to our own request is not answered
// again; a change the client starts is agreed to or refused.
void negotiate(telnet_session& t, replies& r, std::uint8_t verb, std::uint8_t option)
{
    if (verb == telnet_do || verb == telnet_dont) {
        telnet_option_state* s = ours(t, option);
        if (!s) {
            if (verb == telnet_do) refuse(t, r, 0, option);
            return;
        }
        if (verb == telnet_do) {
            if (*s == option_off) put3(r, telnet_will, option);
            *s = option_on;
        } else {
            if (*s == option_on) put3(r, telnet_wont, option);
            *s = option_off;
        }
        return;
    }
    telnet_option_state* s = theirs(t, option);
    if (!s) {
        if (verb == telnet_will) refuse(t, r, 1, option);
        return;
    }
    if (verb == telnet_will) {
        if (*s == option_on) return;
        if (*s == option_off) put3(r, telnet_do, option);
        *s = option_on;
        if (option == telnet_ttype && !t.term_asked) ask_term(r);
        if (option == telnet_ttype) t.term_asked = true;  // once: a client that toggles gets no more
    } else {
        if (*s == option_on) put3(r, telnet_dont, option);
        *s = option_off;
        if (option == telnet_ttype) t.term_done = true;
    }
}

void end_subnegotiation(telnet_session& t)
{
    const std::uint8_t* s = t.sub;
    const int n = t.sub_length;
    t.sub_length = 0;
    if (n == 5 && s[0] == telnet_naws) {
        t.columns = s[1] << 8 | s[2];
        t.rows = s[3] << 8 | s[4];
        ++t.sizes;
    } else if (n >= 2 && s[0] == telnet_ttype && s[1] == ttype_is) {
        // Only the characters a terminal's name is made of; it is logged.
        int k = 0;
        for (int i = 2; i < n && k < telnet_term_capacity - 1; ++i) {
            char c = static_cast<char>(s[i]);
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            const bool name_char = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
                                   c == '_' || c == '+';
            t.term[k++] = name_char ? c : '?';
        }
        t.term[k] = '\0';
        t.term_done = true;
    }
}

}  // namespace

void telnet_offered(telnet_session& t)
{
    t.echo = t.sga = option_asked;
    t.naws = t.ttype = option_asked;
}

int telnet_feed(telnet_session& t, const unsigned char* bytes, int count, unsigned char* data,
                unsigned char* reply, int* reply_length)
{
    replies r{reply, 0};
    int n = 0;
    for (int i = 0; i < count && !t.overflow; ++i) {
        const unsigned char b = bytes[i];
        switch (t.state) {
        case in_data:
            if (b == telnet_iac) {
                t.state = after_iac;
                break;
            }
            if (!(b == 0 && t.after_cr)) data[n++] = b;
            t.after_cr = b == '\r';
            if (b == ctrl_c) t.interrupt = true;  // a client in character mode sends it as it is
            break;
        case after_iac:
            t.spoke = true;
            t.state = in_data;
            if (b == telnet_iac) {
                data[n++] = b;  // a data byte 255
                t.after_cr = false;
            } else if (b >= telnet_will && b <= telnet_dont) {
                t.verb = b;
                t.state = after_verb;
            } else if (b == telnet_sb) {
                t.sub_length = 0;
                t.state = in_sub;
            } else if (b == telnet_interrupt || b == telnet_break) {
                t.interrupt = true;
            }
            break;  // other commands (NOP, AYT, GA ...) mean nothing here
        case after_verb:
            negotiate(t, r, t.verb, b);
            t.state = in_data;
            break;
        case in_sub:
        case in_sub_after_iac:
            if (t.state == in_sub && b == telnet_iac) {
                t.state = in_sub_after_iac;
                break;
            }
            if (t.state == in_sub_after_iac && b != telnet_iac) {
                // IAC SE ends it; any other command ends it too, and is read as one.
                end_subnegotiation(t);
                t.state = in_data;
                if (b != telnet_se) {
                    t.state = after_iac;
                    --i;
                }
                break;
            }
            t.state = in_sub;  // a byte of the subnegotiation (255 sent doubled)
            if (t.sub_length == telnet_subnegotiation_limit) {
                t.overflow = true;
                break;
            }
            t.sub[t.sub_length++] = b;
            break;
        }
    }
    *reply_length = r.length;
    return n;
}

int telnet_frame(const char* bytes, int count, char* out)
{
    int n = 0;
    for (int i = 0; i < count; ++i) {
        const char b = bytes[i];
        out[n++] = b;
        if (static_cast<unsigned char>(b) == telnet_iac) out[n++] = b;
        if (b == '\r' && !(i + 1 < count && bytes[i + 1] == '\n')) out[n++] = '\0';
    }
    return n;
}
