#include "host/unix/terminal_input.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "base/monotonic_clock.h"
#include "terminal/key_decoder.h"
#include "terminal/link_pacing.h"
#include "host/unix/terminal_signals.h"

namespace {

constexpr int max_reads_per_poll = 16;  // a huge paste cannot hold up a frame

// Decodes bytes read at now; the answers among them go to the link.
void take_keys(key_decoder& keys, link_state& link, const unsigned char* bytes, int n, std::int64_t now)
{
    const int before = keys.replies;
    keys_feed(keys, bytes, n, static_cast<std::uint32_t>(now / 1000000));
    for (int r = before; r < keys.replies; ++r) link_answered(link, now);
    keys.replies_due = link.count;
}

}  // namespace

void input_read(int key_fd, key_decoder& keys, link_state& link)
{
    for (int reads = 0; reads < max_reads_per_poll; ++reads) {
        pollfd p{key_fd, POLLIN, 0};
        const int ready = poll(&p, 1, 0);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) signals_hang_up();
        if (ready == 0) break;
        if (!(p.revents & POLLIN)) signals_hang_up();  // hang-up or error without data
        unsigned char bytes[256];
        const ssize_t n = read(key_fd, bytes, sizeof bytes);
        if (n > 0) {
            take_keys(keys, link, bytes, static_cast<int>(n), monotonic_ns());
        } else if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        } else {
            signals_hang_up();  // end of input or a read error
        }
    }
    keys_settle(keys, static_cast<std::uint32_t>(monotonic_ns() / 1000000));
}

void input_await_answers(int key_fd, key_decoder& keys, link_state& link)
{
    const std::int64_t start = monotonic_ns();
    const std::int64_t until = link_wait_until(link, start);
    std::int64_t heard = start;  // when the input last brought something
    for (std::int64_t now = start;; now = monotonic_ns()) {
        const std::int64_t wake = link.count > 0 ? until : std::min(until, link_quiet_until(link, heard));
        if (now >= wake) break;
        pollfd p{key_fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>((wake - now) / 1000000) + 1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) continue;  // the deadline is looked at again
        if (ready < 0 || !(p.revents & POLLIN)) break;
        unsigned char bytes[256];
        const ssize_t n = read(key_fd, bytes, sizeof bytes);
        if (n <= 0) break;
        heard = monotonic_ns();
        take_keys(keys, link, bytes, static_cast<int>(n), heard);
    }
}

