// A load generator for glimfant --serve (bench/serve_load.sh runs it): opens
// viewers on a loopback port, plays each as its client would, and counts the
// frames each receives in a measured window.
//
//   glimfant_serve_load --port P --viewers N [--mode telnet|curl|raw]
//                       [--warmup S] [--seconds S] [--stalled K] [--no-start]
//
// telnet: answers the offers (80 x 25, TERM xterm), presses SPACE (unless
// --no-start: it waits on the start picture) and answers each status
// request as a terminal does; curl: GET / as curl; raw: says nothing, but
// answers status requests as a terminal does (a terminal behind socat).
// --stalled K opens K more viewers (curl) that never read. Prints the frames
// each viewer received in the window after the warm-up, the share of the
// 50 a second they should get, and how many of the stalled ones the server
// closed. Talks to loopback only; its connections and time are bounded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int most_viewers = 20000;
constexpr int most_seconds = 600;

enum mode { telnet_mode, curl_mode, raw_mode };

struct viewer {
    int fd = -1;
    bool stalled = false;
    bool closed = false;
    bool started = false;       // SPACE sent
    bool term_sent = false;
    long frames = 0;            // in the window
    std::string tail;           // the last bytes, for markers cut between reads
};

double now_s()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int connect_to(int port, bool stalled)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (stalled) {
        const int small = 4096;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void say(int fd, const std::string& bytes)
{
    if (send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {}
}

int count(const std::string& text, const char* part)
{
    int n = 0;
    const std::size_t k = std::strlen(part);
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + k)) ++n;
    return n;
}

// Reads what came; counts frames when counting; answers as the client would.
void on_bytes(viewer& v, mode m, const char* bytes, int n, bool counting)
{
    std::string text = v.tail + std::string(bytes, static_cast<std::size_t>(n));
    const std::size_t keep = v.tail.size();
    if (counting) v.frames += count(text, "\x1b[?2026h") - count(v.tail, "\x1b[?2026h");
    const int asked = count(text, "\x1b[c") - count(v.tail, "\x1b[c");
    std::string answer;
    for (int i = 0; i < asked; ++i) answer += "\x1b[?1;2c";  // a VT100 with advanced video, as xterm says
    if (m == telnet_mode) {
        if (!v.term_sent && text.find("\xff\xfd\x18") != std::string::npos) {
            answer += std::string("\xff\xfb\x1f\xff\xfa\x1f\x00\x50\x00\x19\xff\xf0\xff\xfb\x18", 15);
            v.term_sent = true;
        }
        if (text.find("\xff\xfa\x18\x01\xff\xf0", keep > 6 ? keep - 6 : 0) != std::string::npos)
            answer += std::string("\xff\xfa\x18\x00xterm\xff\xf0", 11);
    }
    if (!answer.empty()) say(v.fd, answer);
    v.tail = text.size() > 16 ? text.substr(text.size() - 16) : text;
}

}  // namespace

int main(int argc, char** argv)
{
    int port = 0, viewers = 0, stalled = 0;
    double warmup = 8, seconds = 60;
    mode m = telnet_mode;
    bool start = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--port") port = std::atoi(next), ++i;
        else if (a == "--viewers") viewers = std::atoi(next), ++i;
        else if (a == "--stalled") stalled = std::atoi(next), ++i;
        else if (a == "--warmup") warmup = std::atof(next), ++i;
        else if (a == "--seconds") seconds = std::atof(next), ++i;
        else if (a == "--no-start") start = false;
        else if (a == "--mode") {
            const std::string v = next;
            m = v == "curl" ? curl_mode : v == "raw" ? raw_mode : telnet_mode;
            ++i;
        } else {
            std::fprintf(stderr, "serve_load: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    if (port <= 0 || viewers < 0 || viewers + stalled > most_viewers || viewers + stalled == 0 ||
        warmup + seconds > most_seconds) {
        std::fprintf(stderr, "serve_load: needs --port, and up to %d viewers for up to %d s\n", most_viewers, most_seconds);
        return 2;
    }
    rlimit files{static_cast<rlim_t>(viewers + stalled + 64), static_cast<rlim_t>(viewers + stalled + 64)};
    setrlimit(RLIMIT_NOFILE, &files);

    std::vector<viewer> all(static_cast<std::size_t>(viewers + stalled));
    const int ep = epoll_create1(0);
    const double began = now_s();
    for (std::size_t i = 0; i < all.size(); ++i) {
        viewer& v = all[i];
        v.stalled = static_cast<int>(i) >= viewers;
        v.fd = connect_to(port, v.stalled);
        if (v.fd < 0) {
            std::fprintf(stderr, "serve_load: connection %zu failed: %s\n", i, std::strerror(errno));
            v.closed = true;
            continue;
        }
        if (m == curl_mode || v.stalled) say(v.fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: curl/7.88.1\r\n\r\n");
        if (!v.stalled) {
            epoll_event e{};
            e.events = EPOLLIN;
            e.data.u32 = static_cast<std::uint32_t>(i);
            epoll_ctl(ep, EPOLL_CTL_ADD, v.fd, &e);
        }
        if (i % 50 == 49) usleep(2000);  // within the listen queue
    }
    const double opened = now_s();
    const double from = opened + warmup, until = from + seconds;
    std::vector<epoll_event> events(1024);
    static char buffer[1 << 16];
    while (now_s() < until) {
        const int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), 50);
        const double t = now_s();
        const bool counting = t >= from;
        for (int k = 0; k < n; ++k) {
            viewer& v = all[events[k].data.u32];
            const ssize_t got = recv(v.fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got <= 0) {
                if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    v.closed = true;
                    epoll_ctl(ep, EPOLL_CTL_DEL, v.fd, nullptr);
                }
                continue;
            }
            on_bytes(v, m, buffer, static_cast<int>(got), counting);
        }
        // SPACE once the start picture has had time to come.
        if (m == telnet_mode && start && t - opened > 2.5)
            for (viewer& v : all)
                if (!v.stalled && !v.started && !v.closed) {
                    say(v.fd, " ");
                    v.started = true;
                }
    }
    // The stalled ones the server has closed read as closed or reset.
    int dropped = 0;
    for (viewer& v : all) {
        if (!v.stalled) continue;
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(v.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        pollfd p{v.fd, POLLRDHUP, 0};
        if (error || (poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)))) ++dropped;
    }
    std::vector<long> counts;
    int lost = 0;
    for (const viewer& v : all)
        if (!v.stalled) {
            counts.push_back(v.frames);
            lost += v.closed;
        }
    std::sort(counts.begin(), counts.end());
    const double expected = seconds * 50;
    auto share = [&](long frames) { return 100.0 * static_cast<double>(frames) / expected; };
    if (!counts.empty()) {
        long in_step = 0;
        for (long c : counts) in_step += share(c) >= 98.0;
        std::printf("viewers %d (%s), opened in %.1f s, measured %.0f s after %.0f s\n", viewers,
                    m == telnet_mode ? (start ? "telnet, SPACE pressed" : "telnet, on the start picture")
                                     : m == curl_mode ? "curl" : "raw",
                    opened - began, seconds, warmup);
        std::printf("frames a viewer: min %ld (%.1f%%), median %ld (%.1f%%), max %ld; %ld of %zu got >= 98%%; %d closed\n",
                    counts.front(), share(counts.front()), counts[counts.size() / 2], share(counts[counts.size() / 2]),
                    counts.back(), in_step, counts.size(), lost);
    }
    if (stalled) std::printf("stalled viewers: %d, closed by the server: %d\n", stalled, dropped);
    rusage own{};
    getrusage(RUSAGE_SELF, &own);
    const double cpu = static_cast<double>(own.ru_utime.tv_sec + own.ru_stime.tv_sec) +
                       static_cast<double>(own.ru_utime.tv_usec + own.ru_stime.tv_usec) / 1e6;
    std::printf("the generator itself: %.2f of a core\n", cpu / (now_s() - began));
    for (viewer& v : all)
        if (v.fd >= 0) close(v.fd);
    return 0;
}
