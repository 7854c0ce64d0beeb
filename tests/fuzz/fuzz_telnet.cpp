// libFuzzer target for what a new connection's client sends first: the
// sniffing of its first bytes, and telnet's commands, options and
// subnegotiations. The first byte says where to cut the input in two; the
// rest is fed whole to one session and in those pieces to another.
// Checked: the pieces read as the whole (data, replies, size, type); the
// replies are bounded by what asked for them; a subnegotiation never passes
// its limit; a type holds only a name's characters; and the sniffing never
// goes back on a verdict as bytes are added.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "serve/first_bytes.h"
#include "serve/telnet_protocol.h"

namespace {

void check(bool holds)
{
    if (!holds) std::abort();
}

struct result {
    std::vector<unsigned char> data, reply;
};

void feed(telnet_session& t, const std::uint8_t* bytes, int n, result& r)
{
    std::vector<unsigned char> data(static_cast<std::size_t>(n) + 1), reply(static_cast<std::size_t>(n) + telnet_reply_extra);
    int reply_length = -1;
    const int k = telnet_feed(t, bytes, n, data.data(), reply.data(), &reply_length);
    check(k >= 0 && k <= n && reply_length >= 0 && reply_length <= n + telnet_reply_extra);
    r.data.insert(r.data.end(), data.begin(), data.begin() + k);
    r.reply.insert(r.reply.end(), reply.begin(), reply.begin() + reply_length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 8192) return 0;
    const int n = static_cast<int>(size - 1);
    const int cut = n ? data[0] % (n + 1) : 0;
    const std::uint8_t* input = data + 1;

    first_bytes_kind before = first_bytes_unsure;
    for (int k = 0; k <= n && k <= 16; ++k) {
        const first_bytes_kind now = first_bytes_sniff(input, k);
        check(before == first_bytes_unsure || now == before);
        before = now;
    }

    telnet_session whole, pieces;
    telnet_offered(whole);
    telnet_offered(pieces);
    result a, b;
    feed(whole, input, n, a);
    feed(pieces, input, cut, b);
    feed(pieces, input + cut, n - cut, b);
    check(whole.overflow == pieces.overflow);
    if (!whole.overflow) {  // after an overflow the rest is not read
        check(a.data == b.data && a.reply == b.reply);
        check(whole.columns == pieces.columns && whole.rows == pieces.rows && whole.sizes == pieces.sizes);
        check(std::strcmp(whole.term, pieces.term) == 0);
    }
    check(whole.sub_length <= telnet_subnegotiation_limit);
    for (const char* c = whole.term; *c; ++c) check(*c > ' ' && *c < 0x7F && !(*c >= 'A' && *c <= 'Z'));
    return 0;
}
