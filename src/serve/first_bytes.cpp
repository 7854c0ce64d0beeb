#include "serve/first_bytes.h"

#include <cstring>

#include "serve/telnet_protocol.h"

namespace {

// The methods of RFC 9110 and PATCH; HTTP/2's preface starts "PRI ".
constexpr const char* methods[] = {"GET ", "HEAD ", "POST ", "PUT ", "DELETE ", "OPTIONS ",
                                   "PATCH ", "TRACE ", "CONNECT ", "PRI "};

}  // namespace

first_bytes_kind first_bytes_sniff(const unsigned char* bytes, int n)
{
    if (n <= 0) return first_bytes_unsure;
    if (bytes[0] == telnet_iac) return first_bytes_telnet;
    bool prefix = false;
    for (const char* m : methods) {
        const int k = static_cast<int>(std::strlen(m));
        const int common = n < k ? n : k;
        if (std::memcmp(bytes, m, static_cast<std::size_t>(common)) != 0) continue;
        if (n >= k) return first_bytes_http;
        prefix = true;
    }
    return prefix ? first_bytes_unsure : first_bytes_other;
}
