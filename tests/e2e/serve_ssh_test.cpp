// The show over ssh from outside: glimfant --ssh on a loopback port of the
// system's choosing, watched with OpenSSH's client in tmux (the start
// picture, SPACE, a resize, ESC and the terminal given back), what it
// refuses (a command, a subsystem, ports, X11 and the agent forwarded), a
// client that stalls in the handshake, the limits, HAProxy in front; and the
// alternative: OpenSSH's own sshd running glimfant as its ForceCommand.
#include <gtest/gtest.h>

#include "e2e/e2e_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using e2e::binary;
using e2e::output_of;
using e2e::slurp;
using e2e::status_of;
using e2e::tmux_session;
using e2e::wait_for;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

bool have(const char* program) { return status_of(std::string("command -v ") + program + " >/dev/null 2>&1") == 0; }

// Starts a shell command in the background, its standard error into err.
pid_t spawn(const std::string& command, const std::string& err)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(null, 0);
        dup2(null, 1);
        dup2(fd, 2);
        execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

void end(pid_t pid)
{
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// A TCP connection to 127.0.0.1:port from the loopback address from.
int connect_from(const char* from, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, from, &a.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

// True once the server has closed fd (within about ten seconds).
bool closed_by_server(int fd)
{
    return wait_for([&] {
        char b[4096];
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0) return false;
        const ssize_t n = recv(fd, b, sizeof b, MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN);
    });
}

// glimfant --ssh on a port of its choosing, its host key and log in a run
// folder of its own; ssh() is the OpenSSH client's command for it.
struct ssh_server {
    scratch_dir dir;
    pid_t pid = -1;
    int port = 0;

    explicit ssh_server(const std::string& name, const std::string& options = "") : dir("ssh_" + name)
    {
        pid = spawn(binary + " --ssh 127.0.0.1:0 --ssh-host-key " + (dir / "host_key") + " " + options, dir / "log");
        // The show is rendered before the server listens: seconds under the sanitizers on a loaded machine.
        for (int tries = 0; tries < 6 && port == 0; ++tries)
            wait_for([&] {
                const std::string text = log();
                const std::size_t at = text.find("listening on 127.0.0.1:");
                if (at != std::string::npos && text.find(" (ssh", at) != std::string::npos) port = std::atoi(text.c_str() + at + 23);
                return port > 0;
            });
        EXPECT_GT(port, 0) << log();
    }
    ~ssh_server()
    {
        if (pid <= 0) return;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    std::string log() const { return slurp(dir / "log"); }
    // SIGTERM, then the exit status (-1 when it did not end within 5 s).
    int stop()
    {
        kill(pid, SIGTERM);
        int status = 0;
        const bool ended = wait_for([&] { return waitpid(pid, &status, WNOHANG) == pid; });
        if (!ended) return -1;
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string ssh(const std::string& args, int to_port = 0) const
    {
        return "ssh -F /dev/null -o BatchMode=yes -o StrictHostKeyChecking=no -o UserKnownHostsFile=" + (dir / "known_hosts") +
               " -p " + std::to_string(to_port ? to_port : port) + " " + args;
    }
};

TEST(ssh_e2e, openssh_in_tmux_gets_the_start_picture_the_show_a_resize_and_its_terminal_back)
{
    if (!e2e::have_tmux() || !have("ssh")) GTEST_SKIP() << "tmux or ssh is not installed";
    ssh_server s("tmux");
    tmux_session t("ssh_tmux", 80, 25);
    t.type(s.ssh("anyone@127.0.0.1"));
    ASSERT_TRUE(wait_for([&] { return has(t.pane(), "SPACE: the next showing"); })) << t.pane() << s.log();
    EXPECT_EQ(t.flags(), "1 0 0\n");  // taken over: alternate screen, cursor hidden, no auto-wrap
    t.keys("Space");
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "the show begins in"); })) << t.pane();
    EXPECT_TRUE(wait_for([&] { return !has(t.pane(), "the show begins in") && !has(t.pane(), "SPACE"); }));
    t.tmux("resize-window -t t -x 70 -y 20");  // a window change counts
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "glimfant needs a terminal of 80 x 25"); })) << t.pane();
    t.keys("Escape");
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "Connection to 127.0.0.1 closed."); })) << t.pane();
    EXPECT_EQ(t.flags(), "0 1 1\n");  // its terminal back
    EXPECT_TRUE(wait_for([&] { return has(s.log(), "ssh term=screen size=70x20"); })) << s.log();
    EXPECT_TRUE(has(s.log(), "why=q or ESC"));
}

TEST(ssh_e2e, commands_subsystems_and_forwarded_ports_x11_and_agent_are_refused)
{
    if (!have("ssh") || !have("ssh-agent")) GTEST_SKIP() << "OpenSSH's client is not installed";
    ssh_server s("refusals");
    int status = 0;
    std::string said = output_of(s.ssh("v@127.0.0.1 ls / 2>&1"), &status);
    EXPECT_EQ(status, 255);
    EXPECT_TRUE(has(said, "exec request failed")) << said;
    EXPECT_FALSE(has(said, "etc")) << said;
    said = output_of(s.ssh("-s v@127.0.0.1 sftp 2>&1"), &status);
    EXPECT_TRUE(has(said, "subsystem request failed")) << said;
    said = output_of(s.ssh("-N -o ExitOnForwardFailure=yes -R 0:127.0.0.1:9 v@127.0.0.1 2>&1"), &status);
    EXPECT_EQ(status, 255);
    EXPECT_TRUE(has(said, "remote port forwarding failed")) << said;
    // -L: the client listens; a connection through it is refused by the server.
    const int local = e2e::free_port();
    const pid_t tunnel = spawn(s.ssh("-N -L 127.0.0.1:" + std::to_string(local) + ":127.0.0.1:9 v@127.0.0.1"), s.dir / "tunnel");
    EXPECT_TRUE(wait_for([&] { return status_of("nc -z 127.0.0.1 " + std::to_string(local)) == 0; }));
    output_of("echo x | timeout 2 nc 127.0.0.1 " + std::to_string(local));
    EXPECT_TRUE(wait_for([&] { return has(slurp(s.dir / "tunnel"), "open failed: administratively prohibited"); }))
        << slurp(s.dir / "tunnel");
    end(tunnel);
    // -A (an agent of the test's own) and -X: asked for, never set up, and the show goes on.
    const std::string agent = s.dir / "agent";
    output_of("ssh-agent -a " + agent + " > " + (s.dir / "agent.env"));
    said = output_of("SSH_AUTH_SOCK=" + agent + " DISPLAY=:9 timeout 3 " + s.ssh("-T -A -X v@127.0.0.1 </dev/null 2>" + (s.dir / "ax")));
    output_of(". " + (s.dir / "agent.env") + " >/dev/null && ssh-agent -k >/dev/null");
    EXPECT_GT(count(said, "\x1b[?2026h"), 0);
    EXPECT_TRUE(has(slurp(s.dir / "ax"), "X11 forwarding request failed")) << slurp(s.dir / "ax");
    const std::string log = s.log();
    for (const char* refused : {"refused a command", "refused a subsystem", "refused X11 forwarding", "refused agent forwarding"})
        EXPECT_EQ(count(log, refused), 1) << refused << "\n" << log;
    EXPECT_GE(count(log, "refused port forwarding"), 2) << log;  // -R, and -L's (nc -z's probe makes another)
    EXPECT_TRUE(has(log, "why=it asked to run a command")) << log;
}

TEST(ssh_e2e, a_client_that_stalls_in_the_handshake_is_dropped_and_costs_the_others_nothing)
{
    if (!have("ssh")) GTEST_SKIP() << "OpenSSH's client is not installed";
    ssh_server s("stall", "--ssh-login-limit 3 --max-per-address 2");
    // From 127.0.0.2: one stops after its version, one says nothing.
    const int after_version = connect_from("127.0.0.2", s.port);
    send(after_version, "SSH-2.0-stalled\r\n", 17, MSG_NOSIGNAL);
    const int silent = connect_from("127.0.0.2", s.port);
    // A third from that address is past its limit: told why in one line.
    int status = 0;
    const std::string refused = output_of(s.ssh("-b 127.0.0.2 -T v@127.0.0.1 </dev/null 2>/dev/null"), &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(refused.rfind("glimfant: ", 0), 0u) << refused;
    EXPECT_EQ(count(refused, "\n"), 1) << refused;
    // Meanwhile a viewer from elsewhere gets the show (a count that shows it flows, on a loaded machine too).
    const std::string stream = output_of("timeout 3 " + s.ssh("-T v@127.0.0.1 </dev/null 2>/dev/null"));
    EXPECT_GT(count(stream, "\x1b[?2026h"), 10);
    EXPECT_TRUE(closed_by_server(after_version));
    EXPECT_TRUE(closed_by_server(silent));
    EXPECT_EQ(count(s.log(), "why=it was not at the show within the login limit"), 2) << s.log();
    close(after_version);
    close(silent);
}

TEST(ssh_e2e, behind_haproxy_the_server_sees_the_viewers_own_address_and_sigterm_gives_it_back)
{
    if (!have("ssh") || !have("haproxy")) GTEST_SKIP() << "ssh or haproxy is not installed";
    ssh_server s("haproxy", "--proxy-protocol");
    const int port = e2e::free_port();
    const std::string config = s.dir / "haproxy.cfg";
    std::FILE* f = std::fopen(config.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f,
                 "defaults\n    mode tcp\n    timeout connect 5s\n    timeout client 1m\n    timeout server 1m\n"
                 "frontend ssh\n    bind 127.0.0.1:%d\n    default_backend glimfant_ssh\n"
                 "backend glimfant_ssh\n    server one 127.0.0.1:%d send-proxy-v2\n",
                 port, s.port);
    std::fclose(f);
    const pid_t haproxy = spawn("haproxy -db -f " + config, s.dir / "haproxy.log");
    EXPECT_TRUE(wait_for([&] { return status_of("nc -z 127.0.0.1 " + std::to_string(port)) == 0; }));
    const std::string stream = s.dir / "stream";
    const pid_t viewer = spawn(s.ssh("-b 127.0.0.3 -T v@127.0.0.1 </dev/null >" + stream, port), s.dir / "ssh.err");
    EXPECT_TRUE(wait_for([&] { return count(slurp(stream), "\x1b[?2026h") > 20; })) << slurp(s.dir / "ssh.err");
    EXPECT_TRUE(has(s.log(), "is 127.0.0.3:")) << s.log();  // the viewer's, not HAProxy's
    EXPECT_EQ(s.stop(), 0);
    int status = 0;
    waitpid(viewer, &status, 0);
    EXPECT_TRUE(has(slurp(stream), "\x1b[0m\x1b[26H\r\nglimfant: the show's server is stopping\r\n"));
    end(haproxy);
}

TEST(ssh_e2e, the_host_key_is_kept_private_and_its_options_go_together)
{
    scratch_dir dir("ssh_key");
    const std::string key = dir / "key";
    int status = 0;
    std::string err = output_of(binary + " --ssh 0 2>&1", &status);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(has(err, "--ssh needs --ssh-host-key")) << err;
    err = output_of(binary + " --serve 0 --ssh-host-key " + key + " 2>&1", &status);
    EXPECT_EQ(status, 2);
    EXPECT_TRUE(has(err, "--ssh-host-key needs --ssh")) << err;
    {
        ssh_server s("key_made", "");
        struct stat st{};
        ASSERT_EQ(stat((s.dir / "host_key").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        chmod((s.dir / "host_key").c_str(), 0644);
        err = output_of(binary + " --ssh 127.0.0.1:0 --ssh-host-key " + (s.dir / "host_key") + " 2>&1", &status);
    }
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(has(err, "may be read by others")) << err;
    EXPECT_EQ(count(err, "\n"), 1) << err;
}

// The alternative to the built-in server: OpenSSH's sshd with a Match block
// whose ForceCommand runs glimfant in the client's pty, as the README gives
// it. As root, sshd wants its privilege separation folder, which a mount
// namespace of the test's own gives it.
TEST(ssh_e2e, openssh_sshd_with_force_command_shows_it_in_the_clients_terminal)
{
    if (!e2e::have_tmux() || !have("ssh") || access("/usr/sbin/sshd", X_OK) != 0) GTEST_SKIP() << "tmux or OpenSSH is not installed";
    scratch_dir dir("sshd");
    const std::string d = dir.dir;
    ASSERT_EQ(status_of("ssh-keygen -q -t ed25519 -N '' -f " + d + "/host_key && ssh-keygen -q -t ed25519 -N '' -f " + d +
                        "/id && cp " + d + "/id.pub " + d + "/authorized_keys"), 0);
    const passwd* me = getpwuid(getuid());
    ASSERT_NE(me, nullptr);
    const int port = e2e::free_port();
    std::FILE* f = std::fopen((d + "/sshd_config").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f,
                 "ListenAddress 127.0.0.1\nHostKey %s/host_key\nPidFile none\nAuthorizedKeysFile %s/authorized_keys\n"
                 "StrictModes no\nUsePAM no\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                 "PermitRootLogin prohibit-password\nPrintMotd no\nPrintLastLog no\n"
                 "Match User %s\n    ForceCommand %s --mute\n    AllowTcpForwarding no\n    X11Forwarding no\n"
                 "    AllowAgentForwarding no\n    PermitTunnel no\n",
                 d.c_str(), d.c_str(), me->pw_name, binary.c_str());
    std::fclose(f);
    std::string sshd = "/usr/sbin/sshd -D -e -f " + d + "/sshd_config -p " + std::to_string(port);
    if (getuid() == 0 && access("/run/sshd", F_OK) != 0) {
        if (status_of("unshare -m true 2>/dev/null") != 0) GTEST_SKIP() << "as root, sshd needs /run/sshd";
        sshd = "unshare -m sh -c 'mount -t tmpfs tmpfs /run && mkdir -m 755 /run/sshd && exec " + sshd + "'";
    }
    const pid_t server = spawn(sshd, d + "/sshd.log");
    ASSERT_TRUE(wait_for([&] { return has(slurp(d + "/sshd.log"), "Server listening"); })) << slurp(d + "/sshd.log");
    tmux_session t("sshd_tmux", 80, 25);
    t.type("ssh -F /dev/null -i " + d + "/id -o IdentitiesOnly=yes -o BatchMode=yes -o StrictHostKeyChecking=no -o UserKnownHostsFile=" +
           d + "/known_hosts -p " + std::to_string(port) + " " + me->pw_name + "@127.0.0.1");
    EXPECT_TRUE(t.taken_over()) << t.pane() << slurp(d + "/sshd.log");
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "88888"); })) << t.pane();  // the start picture's letters
    const std::string start = t.pane();
    t.keys("Space");
    EXPECT_TRUE(wait_for([&] { return t.pane() != start; })) << t.pane();
    t.keys("Escape");
    EXPECT_TRUE(wait_for([&] { return has(t.pane(), "Connection to 127.0.0.1 closed."); })) << t.pane();
    EXPECT_EQ(t.flags(), "0 1 1\n");
    end(server);
}

}  // namespace
