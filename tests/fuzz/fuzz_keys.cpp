// libFuzzer target for the key and answer decoder and the link's count of
// answers: any bytes a terminal (or a paste) can send. The first byte says
// how many status requests are out (0..7); the rest is the input, fed whole
// to one decoder and in pieces (cut where the second byte says) to another.
// Checked: the pieces decode as the whole; no more answers are counted than
// requests were sent, nor more than the ESC bytes that start them; once the
// input has stood, nothing is pending, and a lone ESC at its end is the key.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "terminal/key_decoder.h"
#include "terminal/link_pacing.h"

namespace {

constexpr std::int64_t ms = 1000000;

void check(bool holds)
{
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const int requests = data[0] % 8;
    const std::size_t cut = data[1];
    const std::uint8_t* input = data + 2;
    const int n = static_cast<int>(size - 2);

    link_state link;
    for (int i = 0; i < requests; ++i) link_wrote(link, 100, true, i * ms);
    key_decoder whole, pieces;
    whole.replies_due = pieces.replies_due = link.count;

    keys_feed(whole, input, n, 100);
    for (int r = 0; r < whole.replies; ++r) link_answered(link, 100 * ms);
    for (int at = 0; at < n;) {
        const int length = cut == 0 ? 1 : static_cast<int>(cut < static_cast<std::size_t>(n - at) ? cut : n - at);
        keys_feed(pieces, input + at, length, 100);
        at += length;
    }
    check(whole.state == pieces.state && whole.quit == pieces.quit && whole.space == pieces.space &&
          whole.replies == pieces.replies);

    int escapes = 0;
    for (int i = 0; i < n; ++i) escapes += input[i] == 0x1B;
    check(whole.replies <= escapes);
    check(link.count >= 0 && link.count == (whole.replies < requests ? requests - whole.replies : 0));

    const bool lone_escape_last = n > 0 && input[n - 1] == 0x1B;
    keys_settle(whole, 100 + reply_escape_ms);
    check(whole.state == key_plain && keys_settle_in(whole, 100 + reply_escape_ms) == -1);
    check(!lone_escape_last || whole.quit);
    if (escapes == 0) {
        bool q = false;
        for (int i = 0; i < n; ++i) q = q || input[i] == 'q';
        check(whole.quit == q && whole.replies == 0);
    }
    return 0;
}
