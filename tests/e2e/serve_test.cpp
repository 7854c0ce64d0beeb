// The server from outside: glimfant --serve on a loopback port of the
// system's choosing, watched with Debian's telnet in tmux (80 x 25 and a
// window of 100 x 30), curl and netcat, and hostile clients of the test's
// own (a request a byte a second, garbage, a subnegotiation never closed,
// a reset mid-frame, a half-close, a client that never reads), limits,
// the PROXY header, and SIGTERM.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "terminal/ansi_encoder.h"

namespace {

using e2e::binary;
using e2e::output_of;
using e2e::slurp;
using e2e::tmux_session;
using e2e::wait_for;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A server of the test's own, on a port the system chose, its log in the
// scratch folder.
struct server {
    scratch_dir dir;
    pid_t pid = -1;
    int port = 0;

    explicit server(const std::string& name, const std::string& options = "") : dir("serve_" + name)
    {
        const std::string log = dir / "log";
        pid = fork();
        if (pid == 0) {
            const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(fd, 2);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            const std::string command = "exec " + binary + " --serve 127.0.0.1:0 " + options;
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // The show is rendered before the server listens: seconds under the sanitizers on a loaded machine.
        for (int tries = 0; tries < 6 && port == 0; ++tries)
            wait_for([&] {
                const std::string text = slurp(log);
                const std::size_t at = text.find("listening on 127.0.0.1:");
                if (at != std::string::npos) port = std::atoi(text.c_str() + at + 23);
                return port > 0;
            });
        EXPECT_GT(port, 0) << slurp(log);
    }

    ~server()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    std::string log() const { return slurp(dir / "log"); }

    // SIGTERM, then the exit status (-1 when it did not end within 5 s).
    int stop()
    {
        kill(pid, SIGTERM);
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    std::string url(const std::string& path = "/") const { return "http://127.0.0.1:" + std::to_string(port) + path; }
};

// A TCP client of the test's own.
struct client {
    int fd = -1;

    explicit client(int port, int receive_buffer = 0)
    {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        if (receive_buffer) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
    ~client()
    {
        if (fd >= 0) close(fd);
    }

    void say(const std::string& bytes) const { EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }

    // What arrives within ms, or until the server closes (closed is then set).
    std::string hear(int ms, bool* closed = nullptr) const
    {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buffer[65536];
            const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (closed) *closed = true;
                break;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // Reads until the server closes, at most ms; true when it closed.
    bool closed_within(int ms, std::string* got = nullptr) const
    {
        bool closed = false;
        const std::string bytes = hear(ms, &closed);
        if (got) *got = bytes;
        return closed;
    }
};

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

long rss_kb(pid_t pid)
{
    const std::string status = slurp("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

// Runs telnet to the server in a tmux window of its own size, as a user
// would; returns once the start picture shows.
void telnet_to(const tmux_session& t, const server& s)
{
    t.type("TERM=xterm-256color telnet 127.0.0.1 " + std::to_string(s.port));
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "SPACE: the next showing"); })) << t.pane();
}

TEST(serve_e2e, telnet_gets_the_start_picture_the_countdown_the_show_and_its_terminal_back)
{
    if (!e2e::have_tmux()) GTEST_SKIP() << "tmux is not installed";
    server s("telnet");
    tmux_session t("serve_telnet", 80, 25);
    telnet_to(t, s);
    EXPECT_EQ(t.flags(), "1 0 0\n");  // taken over: alternate screen, cursor hidden, no auto-wrap
    EXPECT_TRUE(has(t.pane(), "no sound travels here"));
    t.keys("Space");
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "the show begins in"); })) << t.pane();
    // The show: the start picture's words go.
    EXPECT_TRUE(wait_for([&] { return !has(t.pane(), "the show begins in") && !has(t.pane(), "SPACE"); }));
    t.keys("p");  // paused: the picture stands
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string paused = t.pane();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(t.pane(), paused);
    t.keys("q");
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "Connection closed by foreign host"); })) << t.pane();
    EXPECT_EQ(t.flags(), "0 1 1\n");  // its terminal back
    EXPECT_TRUE(wait_for([&] { return has(s.log(), "telnet term=xterm-256color size=80x25"); })) << s.log();
    EXPECT_TRUE(has(s.log(), "why=q or ESC"));
}

TEST(serve_e2e, a_telnet_window_of_100_x_30_sees_the_picture_centred_and_a_resize_counts)
{
    if (!e2e::have_tmux()) GTEST_SKIP() << "tmux is not installed";
    server s("naws");
    tmux_session t("serve_naws", 100, 30);
    telnet_to(t, s);
    // Row 20 of the grid is row 22 of the window, 10 columns in.
    std::vector<std::string> lines;
    std::string pane = t.pane();
    for (std::size_t at = 0, next; (next = pane.find('\n', at)) != std::string::npos; at = next + 1)
        lines.push_back(pane.substr(at, next - at));
    ASSERT_GT(lines.size(), 22u);
    const std::size_t keys_line = std::strlen("SPACE: the next showing   p: pause   arrows: scenes   q: leave");
    EXPECT_EQ(lines[22].find("SPACE"), 10 + (80 - keys_line) / 2) << pane;
    t.tmux("resize-window -t t -x 70 -y 20");  // smaller than the grid: told the size needed
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "glimfant needs a terminal of 80 x 25"); })) << t.pane();
    t.keys("q");
    EXPECT_TRUE(wait_for([&] { return has(s.log(), "size=70x20"); })) << s.log();
}

TEST(serve_e2e, curl_gets_the_show_as_text_a_browser_a_page_and_no_path_climbs_out)
{
    server s("http", "--max-per-address 100");
    const std::string stream = output_of("curl -s -N --max-time 2 " + s.url());
    EXPECT_GT(count(stream, "\x1b[?2026h"), 5);  // frames, as a terminal is sent them
    EXPECT_FALSE(has(stream, "\x1b[?1049h"));    // and no take-over a stopped curl would leave behind
    EXPECT_TRUE(has(output_of("curl -s -i " + s.url() + " -H 'User-Agent: Mozilla/5.0'"), "curl -N http://127.0.0.1:"));
    const std::string head = output_of("curl -s -I --max-time 2 " + s.url());
    EXPECT_TRUE(has(head, "Content-Type: text/plain; charset=utf-8")) << head;
    for (const char* path : {"/../etc/passwd", "/%2e%2e/etc/passwd", "/%2E%2E%2Fetc%2Fpasswd", "/a%00b"})
        EXPECT_EQ(output_of("curl -s -o /dev/null -w '%{http_code}' --path-as-is '" + s.url(path) + "'"), "400") << path;
    EXPECT_EQ(output_of("curl -s -o /dev/null -w '%{http_code}' " + s.url("/etc/passwd")), "404");
    EXPECT_EQ(output_of("curl -s -o /dev/null -w '%{http_code}' -X POST " + s.url()), "405");
}

TEST(serve_e2e, the_page_folder_serves_its_own_files_only)
{
    scratch_dir page("serve_page_files");
    std::system(("printf '<html>page</html>' > " + (page / "index.html") + " && printf 'js' > " + (page / "page.js") +
                 " && ln -s /etc/passwd " + (page / "passwd") + " && mkdir " + (page / "sub") + " && printf x > " +
                 (page / "sub/x") + " && printf h > " + (page / ".hidden")).c_str());
    server s("page", "--serve-web " + page.dir);
    EXPECT_EQ(output_of("curl -s -A Mozilla/5.0 " + s.url()), "<html>page</html>");
    EXPECT_EQ(output_of("curl -s " + s.url("/page.js")), "js");
    for (const char* path : {"/passwd", "/sub/x", "/sub", "/.hidden"})
        EXPECT_EQ(output_of("curl -s -o /dev/null -w '%{http_code}' " + s.url(path)), "404") << path;
}

TEST(serve_e2e, netcat_gets_the_show_at_once_after_the_offers_are_wiped)
{
    server s("netcat");
    const std::string got = output_of("timeout 3 nc 127.0.0.1 " + std::to_string(s.port) + " </dev/null");
    ASSERT_GT(got.size(), 20u);
    EXPECT_EQ(got.substr(0, 16), std::string("\xff\xfb\x01\xff\xfb\x03\xff\xfd\x1f\xff\xfd\x18\r\x1b[K", 16));
    EXPECT_GT(count(got, "\x1b[?2026h"), 5);
    EXPECT_FALSE(has(got, "\x1b[?1049h"));
    EXPECT_FALSE(has(got, "\x1b[38;"));  // 16 colours
}

TEST(serve_e2e, hostile_clients_cost_the_others_nothing_and_leave_the_memory_where_it_was)
{
    server s("hostile", "--stall-limit 2 --max-per-address 100");
    client viewer(s.port);  // a curl-like viewer in step the whole time
    viewer.say("GET / HTTP/1.1\r\nUser-Agent: curl/8\r\n\r\n");
    EXPECT_GT(count(viewer.hear(1000), "\x1b[?2026h"), 0);
    const long before = rss_kb(s.pid);

    std::atomic<int> viewer_frames{0};
    std::atomic<bool> done{false};
    std::thread watching([&] {
        while (!done) viewer_frames += count(viewer.hear(200), "\x1b[?2026h");
    });

    // A request a byte a second: answered 408 once its 5 s are up.
    std::thread slow([&] {
        client c(s.port);
        const std::string request = "GET / HTTP/1.1\r\n";
        std::string got;
        for (char b : request) {
            c.say(std::string(1, b));
            bool closed = false;
            got += c.hear(1000, &closed);
            if (closed) break;
        }
        EXPECT_TRUE(has(got, "408")) << got;
    });
    {
        client garbage(s.port);  // a megabyte of garbage, then gone
        std::string bytes(1 << 20, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
        bytes[0] = 'x';
        send(garbage.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    {
        client unclosed(s.port);  // a subnegotiation never closed
        unclosed.say("\xff\xfa\x18" + std::string(2000, 'x'));
        std::string got;
        EXPECT_TRUE(unclosed.closed_within(3000, &got));
        EXPECT_TRUE(has(got, "subnegotiation longer than 512 bytes")) << got;
    }
    {
        client naws(s.port);  // a window size with a doubled 255: 255 x 30
        naws.say(std::string("\xff\xfb\x1f\xff\xfa\x1f\x00\xff\xff\x00\x1e\xff\xf0\xff\xfc\x18", 16));
        EXPECT_TRUE(has(naws.hear(1500), "\x1b[?1049h"));
    }
    {
        client reset(s.port);  // gone with a reset in the middle of the stream
        reset.say("GET / HTTP/1.0\r\nAccept: text/plain\r\n\r\n");
        reset.hear(300);
        const linger hard{1, 0};
        setsockopt(reset.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    {
        client half(s.port);  // closes its sending side, reads on
        half.say("GET / HTTP/1.1\r\nUser-Agent: Wget/1.21\r\n\r\n");
        shutdown(half.fd, SHUT_WR);
        half.hear(300);
        EXPECT_GT(count(half.hear(1000), "\x1b[?2026h"), 0);
    }
    {
        client never(s.port, 4096);  // never reads: dropped at the stall limit
        never.say("GET / HTTP/1.1\r\nUser-Agent: curl/8\r\n\r\n");
        EXPECT_TRUE(wait_for([&] { return has(s.log(), "why=it took nothing for the stall limit"); })) << s.log();
    }
    slow.join();
    EXPECT_TRUE(wait_for([&] { return count(s.log(), " close ") >= 7; })) << s.log();
    done = true;
    watching.join();
    EXPECT_GT(viewer_frames.load(), 50);  // the viewer was sent frames throughout
    bool closed = false;
    viewer.hear(100, &closed);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(has(s.log(), "size=255x30")) << s.log();
    EXPECT_LT(rss_kb(s.pid) - before, 1024) << "kB more than before the hostile clients";
}

TEST(serve_e2e, past_a_limit_one_line_or_a_503_and_closed)
{
    server s("limits", "--max-per-address 2");
    client a(s.port), b(s.port), c(s.port);
    std::string got;
    EXPECT_TRUE(c.closed_within(3000, &got));
    EXPECT_EQ(got, "glimfant: too many connections from your address\r\n");
    const std::string answer = output_of("curl -s -i " + s.url());
    EXPECT_TRUE(has(answer, "HTTP/1.1 503")) << answer;
    EXPECT_TRUE(has(answer, "Retry-After: 60"));
}

TEST(serve_e2e, the_proxy_header_names_the_client_for_the_limits_and_the_log)
{
    server s("proxy", "--proxy-protocol");
    client proxied(s.port);
    proxied.say("PROXY TCP4 127.0.0.1 127.0.0.1 1 80\r\nGET / HTTP/1.1\r\nUser-Agent: curl/8\r\n\r\n");
    EXPECT_TRUE(has(proxied.hear(500), "\x1b[?2026h"));
    EXPECT_TRUE(has(s.log(), "is 127.0.0.1:1 (from the PROXY header)")) << s.log();
    client plain(s.port);
    plain.say("GET / HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(plain.closed_within(2000));
}

TEST(serve_e2e, haproxy_in_front_of_two_servers_spreads_the_viewers_and_passes_their_addresses)
{
    if (e2e::status_of("command -v haproxy >/dev/null 2>&1") != 0) GTEST_SKIP() << "haproxy is not installed";
    server first("haproxy_first", "--proxy-protocol"), second("haproxy_second", "--proxy-protocol");
    scratch_dir dir("serve_haproxy");
    const int port = e2e::free_port();
    const std::string config = dir / "haproxy.cfg";
    std::FILE* f = std::fopen(config.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f,
                 "global\n    maxconn 100\ndefaults\n    mode tcp\n    timeout connect 5s\n    timeout client 1m\n"
                 "    timeout server 1m\nfrontend show\n    bind 127.0.0.1:%d\n    default_backend glimfant\n"
                 "backend glimfant\n    balance leastconn\n"
                 "    server first 127.0.0.1:%d send-proxy-v2\n    server second 127.0.0.1:%d send-proxy-v2\n",
                 port, first.port, second.port);
    std::fclose(f);
    const pid_t haproxy = fork();
    if (haproxy == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execlp("haproxy", "haproxy", "-db", "-f", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    EXPECT_TRUE(wait_for([&] { return e2e::status_of("curl -s -o /dev/null --max-time 2 -I http://127.0.0.1:" + std::to_string(port) + "/") == 0; }))
        << first.log() << second.log();
    std::vector<client*> viewers;
    for (int i = 0; i < 4; ++i) {
        viewers.push_back(new client(port));
        viewers.back()->say("GET / HTTP/1.1\r\nUser-Agent: curl/8\r\n\r\n");
        EXPECT_TRUE(has(viewers.back()->hear(400), "\x1b[?2026h"));
    }
    // The address each server sees is the viewer's own (here loopback, with the viewer's port).
    for (const server* s : {&first, &second}) EXPECT_GE(count(s->log(), "(from the PROXY header)"), 2) << s->log();
    for (client* c : viewers) delete c;
    kill(haproxy, SIGTERM);
    waitpid(haproxy, nullptr, 0);
}

TEST(serve_e2e, sigterm_gives_every_terminal_back_and_exits_0_within_a_second)
{
    server s("stop");
    client telnet(s.port);
    telnet.say(std::string("\xff\xfc\x1f\xff\xfc\x18", 6));  // a telnet client that refuses NAWS and TTYPE
    EXPECT_TRUE(has(telnet.hear(800), "\x1b[?1049h"));
    client stream(s.port);
    stream.say("GET / HTTP/1.1\r\nUser-Agent: curl/8\r\n\r\n");
    stream.hear(200);
    // Serves without SDL or FFmpeg loaded.
    const std::string maps = slurp("/proc/" + std::to_string(s.pid) + "/maps");
    EXPECT_FALSE(has(maps, "libSDL2")) << "the server maps SDL";
    EXPECT_FALSE(has(maps, "libavcodec") || has(maps, "libavformat")) << "the server maps FFmpeg";
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(s.stop(), 0);
    const auto took = std::chrono::steady_clock::now() - asked;
    EXPECT_LT(took, std::chrono::seconds(3)) << "a second, and room for a loaded machine";
    std::string got;
    EXPECT_TRUE(telnet.closed_within(1000, &got));
    EXPECT_TRUE(has(got, std::string(ansi_restore) + "glimfant: the show's server is stopping\r\n")) << got;
    EXPECT_TRUE(stream.closed_within(1000, &got));
    EXPECT_TRUE(has(got, "\x1b[0m\x1b[26H\r\nglimfant: the show's server is stopping"));
}

}  // namespace
