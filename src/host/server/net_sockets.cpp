#include "host/server/net_sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A client that stops reading keeps at most this much in the kernel for it
// (Linux doubles it for its own bookkeeping); the server queues at most a
// frame more. A viewer in step takes a few kB a frame.
constexpr int send_buffer_bytes = 32 * 1024;
constexpr int listen_backlog = 1024;

// Non-blocking and closed on exec, with the calls every Unix has.
void make_nonblocking(int fd)
{
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

void to_peer(const sockaddr_storage& sa, peer_name& peer)
{
    std::memset(&peer, 0, sizeof peer);
    if (sa.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(sa);
        std::memcpy(peer.address, &in6.sin6_addr, 16);
        peer.port = ntohs(in6.sin6_port);
    } else if (sa.ss_family == AF_INET) {
        const auto& in4 = reinterpret_cast<const sockaddr_in&>(sa);
        peer.address[10] = peer.address[11] = 0xFF;
        std::memcpy(peer.address + 12, &in4.sin_addr, 4);
        peer.port = ntohs(in4.sin_port);
    }
}

int open_listener(const sockaddr* sa, socklen_t length, bool dual_stack)
{
    const int fd = socket(sa->sa_family, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    make_nonblocking(fd);
    const int one = 1, zero = 0;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (sa->sa_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, dual_stack ? &zero : &one, sizeof one);
    if (bind(fd, sa, length) != 0 || listen(fd, listen_backlog) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

std::uint16_t bound_port(int fd)
{
    sockaddr_storage sa{};
    socklen_t length = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
    peer_name p;
    to_peer(sa, p);
    return p.port;
}

}  // namespace

int listen_on(const char* where, int* fds, char* why, int why_size)
{
    // The port is after the last ':' (an IPv6 address is in brackets).
    const char* colon = std::strrchr(where, ':');
    char host[256] = "";
    const char* port_text = where;
    if (colon) {
        const char* h = where;
        std::size_t n = static_cast<std::size_t>(colon - where);
        if (n >= 2 && h[0] == '[' && h[n - 1] == ']') {
            ++h;
            n -= 2;
        }
        if (n >= sizeof host) n = sizeof host - 1;
        std::memcpy(host, h, n);
        host[n] = '\0';
        port_text = colon + 1;
    }
    const long port = std::strtol(port_text, nullptr, 10);
    if (!*host) {
        // Every address: one socket for IPv6 and IPv4 where there is IPv6.
        sockaddr_in6 any6{};
        any6.sin6_family = AF_INET6;
        any6.sin6_addr = in6addr_any;
        any6.sin6_port = htons(static_cast<std::uint16_t>(port));
        int fd = open_listener(reinterpret_cast<sockaddr*>(&any6), sizeof any6, true);
        if (fd < 0 && (errno == EAFNOSUPPORT || errno == EADDRNOTAVAIL)) {
            sockaddr_in any4{};
            any4.sin_family = AF_INET;
            any4.sin_addr.s_addr = htonl(INADDR_ANY);
            any4.sin_port = htons(static_cast<std::uint16_t>(port));
            fd = open_listener(reinterpret_cast<sockaddr*>(&any4), sizeof any4, false);
        }
        if (fd < 0) {
            std::snprintf(why, static_cast<std::size_t>(why_size), "cannot listen on port %ld: %s", port, std::strerror(errno));
            return 0;
        }
        fds[0] = fd;
        return 1;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host, port_text, &hints, &found);
    if (error) {
        std::snprintf(why, static_cast<std::size_t>(why_size), "cannot listen on '%s': %s", where, gai_strerror(error));
        return 0;
    }
    int count = 0;
    std::uint16_t chosen = static_cast<std::uint16_t>(port);
    int last_error = 0;
    for (addrinfo* a = found; a && count < listener_capacity; a = a->ai_next) {
        // Port 0: the port the first socket got, for every address of the name.
        if (a->ai_family == AF_INET) reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_port = htons(chosen);
        if (a->ai_family == AF_INET6) reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_port = htons(chosen);
        const int fd = open_listener(a->ai_addr, a->ai_addrlen, false);
        if (fd < 0) {
            last_error = errno;
            continue;
        }
        fds[count++] = fd;
        chosen = bound_port(fd);
    }
    freeaddrinfo(found);
    if (count == 0)
        std::snprintf(why, static_cast<std::size_t>(why_size), "cannot listen on '%s': %s", where,
                      std::strerror(last_error ? last_error : EADDRNOTAVAIL));
    return count;
}

void listener_name(int fd, char* text)
{
    sockaddr_storage sa{};
    socklen_t length = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
    peer_name p;
    to_peer(sa, p);
    peer_text(p, text);
}

int accept_one(int listener, peer_name& peer)
{
    sockaddr_storage sa{};
    socklen_t length = sizeof sa;
    const int fd = accept(listener, reinterpret_cast<sockaddr*>(&sa), &length);
    if (fd < 0) return -1;
    make_nonblocking(fd);
    to_peer(sa, peer);
    const int one = 1, buffer = send_buffer_bytes;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);  // a frame goes out whole, at once
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    return fd;
}

void peer_text(const peer_name& peer, char* text)
{
    char a[INET6_ADDRSTRLEN] = "?";
    if (std::memcmp(peer.address, "\0\0\0\0\0\0\0\0\0\0\xff\xff", 12) == 0) {
        inet_ntop(AF_INET, peer.address + 12, a, sizeof a);
        std::snprintf(text, address_text_capacity, "%s:%u", a, peer.port);
    } else {
        inet_ntop(AF_INET6, peer.address, a, sizeof a);
        std::snprintf(text, address_text_capacity, "[%s]:%u", a, peer.port);
    }
}

bool peer_from_proxy(peer_name& peer, const proxy_source& source)
{
    if (source.family == 4) {
        std::memset(peer.address, 0, 10);
        peer.address[10] = peer.address[11] = 0xFF;
        std::memcpy(peer.address + 12, source.address, 4);
    } else if (source.family == 6) {
        std::memcpy(peer.address, source.address, 16);
    } else {
        return false;
    }
    peer.port = source.port;
    return true;
}
