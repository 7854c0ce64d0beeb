#include "serve/proxy_header.h"

#include <cstring>

namespace {

constexpr unsigned char v2_signature[12] = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr char v1_signature[] = "PROXY ";

bool parse_ipv4(const char* s, int n, std::uint8_t* out)
{
    int part = 0, value = 0, digits = 0;
    for (int i = 0; i <= n; ++i) {
        if (i == n || s[i] == '.') {
            if (digits == 0 || part > 3) return false;
            out[part++] = static_cast<std::uint8_t>(value);
            value = digits = 0;
            continue;
        }
        if (s[i] < '0' || s[i] > '9' || digits == 3 || (digits == 1 && value == 0)) return false;  // no leading zeros
        value = value * 10 + (s[i] - '0');
        if (value > 255) return false;
        ++digits;
    }
    return part == 4;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool parse_ipv6(const char* s, int n, std::uint8_t* out)
{
    std::uint16_t groups[8] = {};
    int count = 0, gap = -1, i = 0;
    if (n >= 2 && s[0] == ':' && s[1] == ':') {
        gap = 0;
        i = 2;
    } else if (n >= 1 && s[0] == ':') {
        return false;
    }
    while (i < n) {
        // A dotted quad may end it, as the last 32 bits.
        int j = i;
        while (j < n && s[j] != ':') ++j;
        if (std::memchr(s + i, '.', static_cast<std::size_t>(j - i))) {
            std::uint8_t quad[4];
            if (j != n || count > 6 || !parse_ipv4(s + i, j - i, quad)) return false;
            groups[count++] = static_cast<std::uint16_t>(quad[0] << 8 | quad[1]);
            groups[count++] = static_cast<std::uint16_t>(quad[2] << 8 | quad[3]);
            i = n;
            break;
        }
        if (j == i || j - i > 4 || count == 8) return false;
        int value = 0;
        for (int k = i; k < j; ++k) {
            const int d = hex_digit(s[k]);
            if (d < 0) return false;
            value = value * 16 + d;
        }
        groups[count++] = static_cast<std::uint16_t>(value);
        i = j;
        if (i == n) break;
        ++i;  // past ':'
        if (i < n && s[i] == ':') {
            if (gap >= 0) return false;  // one :: at most
            gap = count;
            ++i;
        } else if (i == n) {
            return false;  // a trailing single ':'
        }
    }
    if (gap < 0 ? count != 8 : count > 7) return false;
    std::uint16_t full[8] = {};
    if (gap < 0) {
        std::memcpy(full, groups, sizeof full);
    } else {
        for (int k = 0; k < gap; ++k) full[k] = groups[k];
        const int tail = count - gap;
        for (int k = 0; k < tail; ++k) full[8 - tail + k] = groups[gap + k];
    }
    for (int k = 0; k < 8; ++k) {
        out[2 * k] = static_cast<std::uint8_t>(full[k] >> 8);
        out[2 * k + 1] = static_cast<std::uint8_t>(full[k] & 0xFF);
    }
    return true;
}

bool parse_port(const char* s, int n, std::uint16_t& port)
{
    if (n < 1 || n > 5 || (n > 1 && s[0] == '0')) return false;
    int value = 0;
    for (int i = 0; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    if (value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

// "PROXY TCP4 src dst sport dport\r\n", or "PROXY UNKNOWN ...\r\n".
int read_v1(const unsigned char* bytes, int n, proxy_source& source)
{
    const char* text = reinterpret_cast<const char*>(bytes);
    const int limit = n < proxy_v1_limit ? n : proxy_v1_limit;
    int end = -1;
    for (int i = 0; i + 1 < limit; ++i)
        if (text[i] == '\r' && text[i + 1] == '\n') {
            end = i;
            break;
        }
    if (end < 0) return n >= proxy_v1_limit ? -1 : 0;
    // The fields after "PROXY ", split at single spaces.
    const char* field[5];
    int length[5];
    int count = 0, start = 6;
    for (int i = 6; i <= end; ++i) {
        if (i < end && text[i] != ' ') continue;
        if (count == 5) return -1;
        field[count] = text + start;
        length[count] = i - start;
        ++count;
        start = i + 1;
    }
    if (count >= 1 && length[0] == 7 && std::memcmp(field[0], "UNKNOWN", 7) == 0) {
        source = proxy_source{};
        return end + 2;
    }
    if (count != 5) return -1;
    proxy_source s;
    proxy_source destination;
    std::uint16_t destination_port = 0;
    const bool tcp4 = length[0] == 4 && std::memcmp(field[0], "TCP4", 4) == 0;
    const bool tcp6 = length[0] == 4 && std::memcmp(field[0], "TCP6", 4) == 0;
    if (!tcp4 && !tcp6) return -1;
    if (!parse_ip_address(field[1], length[1], s) || !parse_ip_address(field[2], length[2], destination)) return -1;
    if (s.family != (tcp4 ? 4 : 6) || destination.family != s.family) return -1;
    if (!parse_port(field[3], length[3], s.port) || !parse_port(field[4], length[4], destination_port)) return -1;
    source = s;
    return end + 2;
}

int read_v2(const unsigned char* bytes, int n, proxy_source& source)
{
    if (n < 16) return 0;
    const int version = bytes[12] >> 4, command = bytes[12] & 15;
    const int length = bytes[14] << 8 | bytes[15];
    if (version != 2 || command > 1 || 16 + length > proxy_v2_limit) return -1;
    if (n < 16 + length) return 0;
    const unsigned char* a = bytes + 16;
    proxy_source s;
    if (command == 1 && bytes[13] == 0x11) {  // PROXY, TCP over IPv4
        if (length < 12) return -1;
        s.family = 4;
        std::memcpy(s.address, a, 4);
        s.port = static_cast<std::uint16_t>(a[8] << 8 | a[9]);
    } else if (command == 1 && bytes[13] == 0x21) {  // TCP over IPv6
        if (length < 36) return -1;
        s.family = 6;
        std::memcpy(s.address, a, 16);
        s.port = static_cast<std::uint16_t>(a[32] << 8 | a[33]);
    }
    // LOCAL (the proxy's own health check) and other families: the
    // connection's own address.
    source = s;
    return 16 + length;
}

}  // namespace

bool parse_ip_address(const char* text, int n, proxy_source& out)
{
    out = proxy_source{};
    if (n <= 0 || n > 45) return false;
    if (std::memchr(text, ':', static_cast<std::size_t>(n))) {
        if (!parse_ipv6(text, n, out.address)) return false;
        out.family = 6;
        return true;
    }
    if (!parse_ipv4(text, n, out.address)) return false;
    out.family = 4;
    return true;
}

int proxy_header_read(const unsigned char* bytes, int n, proxy_source& source)
{
    const int k12 = n < 12 ? n : 12;
    if (std::memcmp(bytes, v2_signature, static_cast<std::size_t>(k12)) == 0) return n < 12 ? 0 : read_v2(bytes, n, source);
    const int k6 = n < 6 ? n : 6;
    if (std::memcmp(bytes, v1_signature, static_cast<std::size_t>(k6)) != 0) return -1;
    return n < 6 ? 0 : read_v1(bytes, n, source);
}
