#include "terminal/key_decoder.h"

namespace {

std::uint32_t escape_wait(const key_decoder& k) { return k.replies_due > 0 ? reply_escape_ms : lone_escape_ms; }

}  // namespace

void keys_feed(key_decoder& k, const unsigned char* bytes, int count, std::uint32_t now)
{
    constexpr unsigned char esc = 0x1B;
    for (int i = 0; i < count; ++i) {
        const unsigned char b = bytes[i];
        if (b == esc) {
            // Also inside a sequence: a new ESC cuts the old one off. An ESC
            // right after an ESC was the key: the answer to a status request
            // can follow a key press at once.
            if (k.state == key_after_escape) k.quit = true;
            k.state = key_after_escape;
            k.escape_tick = now;
            continue;
        }
        switch (k.state) {
        case key_plain:
            if (b == ' ') k.space = true;
            if (b == 'q') k.quit = true;
            if (b == 'p' || b == 'P') k.pause = true;
            k.any = true;
            break;
        case key_after_escape:
            k.state = b == '[' ? key_in_csi : b == 'O' ? key_after_ss3 : key_plain;  // else Alt+key
            k.csi_first = 0;
            k.csi_only_first = false;
            k.csi_number = 0;
            if (k.state == key_plain) k.any = true;
            break;
        case key_in_csi:
            if (b >= 0x20 && b <= 0x3F) {  // a parameter or intermediate byte
                k.csi_only_first = k.csi_first == 0;
                if (k.csi_first == 0) k.csi_first = b;
                if (b >= '0' && b <= '9' && k.csi_number < 1000) k.csi_number = k.csi_number * 10 + (b - '0');
                if (b == ';') k.csi_number = 1000;  // only a lone number names a key here
                break;
            }
            k.state = key_plain;  // a final byte, or garbage
            if ((b == 'c' && k.csi_first == '?') || (b == 'n' && k.csi_first == '0' && k.csi_only_first)) {
                ++k.replies;
                break;
            }
            k.any = true;
            if (b == 'C' || (b == '~' && k.csi_number == 6)) ++k.seek;  // right arrow, Page Down
            if (b == 'D' || (b == '~' && k.csi_number == 5)) --k.seek;  // left arrow, Page Up
            break;
        case key_after_ss3:
            k.state = key_plain;
            k.any = true;
            if (b == 'C') ++k.seek;  // the arrows in application mode
            if (b == 'D') --k.seek;
            break;
        }
    }
}

void keys_settle(key_decoder& k, std::uint32_t now)
{
    if (k.state == key_plain || now - k.escape_tick < escape_wait(k)) return;
    if (k.state == key_after_escape) k.quit = true;
    k.state = key_plain;
}

int keys_settle_in(const key_decoder& k, std::uint32_t now)
{
    if (k.state == key_plain) return -1;
    const std::uint32_t waited = now - k.escape_tick;
    return waited >= escape_wait(k) ? 0 : static_cast<int>(escape_wait(k) - waited);
}
