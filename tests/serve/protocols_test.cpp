// The parsers of what clients send first: the sniffing of the first bytes,
// telnet's options and subnegotiations, the HTTP request and its path, and
// the PROXY header. (tests/fuzz has a target for each.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "serve/first_bytes.h"
#include "serve/http_request.h"
#include "serve/proxy_header.h"
#include "serve/telnet_protocol.h"

namespace {

using bytes = std::vector<unsigned char>;
constexpr unsigned char IAC = telnet_iac, SB = telnet_sb, SE = telnet_se;

struct fed {
    std::string data;
    bytes reply;
};

// Feeds input in pieces of piece bytes.
fed feed(telnet_session& t, const bytes& input, std::size_t piece = 1 << 20)
{
    fed out;
    for (std::size_t at = 0; at < input.size(); at += piece) {
        const int n = static_cast<int>(std::min(piece, input.size() - at));
        unsigned char data[4096], reply[4096 + telnet_reply_extra];
        int reply_length = 0;
        const int k = telnet_feed(t, input.data() + at, n, data, reply, &reply_length);
        EXPECT_LE(reply_length, n + telnet_reply_extra);
        out.data.append(reinterpret_cast<char*>(data), static_cast<std::size_t>(k));
        out.reply.insert(out.reply.end(), reply, reply + reply_length);
    }
    return out;
}

first_bytes_kind sniff(const std::string& s)
{
    return first_bytes_sniff(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(s.size()));
}

TEST(first_bytes, a_request_method_is_http_a_telnet_command_telnet_anything_else_not)
{
    EXPECT_EQ(sniff(""), first_bytes_unsure);
    EXPECT_EQ(sniff("G"), first_bytes_unsure);
    EXPECT_EQ(sniff("GET"), first_bytes_unsure);  // a byte at a time: wait for the space
    EXPECT_EQ(sniff("GET /"), first_bytes_http);
    EXPECT_EQ(sniff("HEAD "), first_bytes_http);
    EXPECT_EQ(sniff("GETX"), first_bytes_other);
    EXPECT_EQ(sniff("q"), first_bytes_other);
    EXPECT_EQ(sniff("\xff\xfd\x18"), first_bytes_telnet);
}

TEST(telnet, a_client_that_answers_the_offers_is_asked_its_type_once_and_named_by_it)
{
    telnet_session t;
    telnet_offered(t);
    const fed f = feed(t, {IAC, telnet_do, telnet_echo, IAC, telnet_do, telnet_sga, IAC, telnet_will, telnet_naws,
                           IAC, telnet_will, telnet_ttype});
    EXPECT_TRUE(t.spoke);
    EXPECT_EQ(f.reply, (bytes{IAC, SB, telnet_ttype, 1, IAC, SE}));  // our own offers answered: nothing more
    EXPECT_EQ(t.echo, option_on);
    // A client that toggles the type gets no second SEND, and no loop of answers.
    const fed again = feed(t, {IAC, telnet_wont, telnet_ttype, IAC, telnet_will, telnet_ttype});
    EXPECT_EQ(again.reply, (bytes{IAC, telnet_dont, telnet_ttype, IAC, telnet_do, telnet_ttype}));
    bytes is = {IAC, SB, telnet_ttype, 0};
    for (char c : std::string("XTERM-256COLOR\x1b/x")) is.push_back(static_cast<unsigned char>(c));
    is.insert(is.end(), {IAC, SE});
    feed(t, is);
    EXPECT_TRUE(t.term_done);
    EXPECT_STREQ(t.term, "xterm-256color??x");  // only a name's characters reach the log
}

TEST(telnet, a_window_size_with_255s_sent_doubled_reads_right_in_any_pieces)
{
    // 255 x 30, then 65535 x 256: every 255 inside the subnegotiation is doubled.
    const bytes naws = {IAC, SB, telnet_naws, 0, IAC, IAC, 0, 30, IAC, SE,
                        IAC, SB, telnet_naws, IAC, IAC, IAC, IAC, 1, 0, IAC, SE};
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, naws.size()}) {
        telnet_session t;
        feed(t, bytes(naws.begin(), naws.begin() + 10), piece);
        EXPECT_EQ(t.columns, 255);
        EXPECT_EQ(t.rows, 30);
        feed(t, bytes(naws.begin() + 10, naws.end()), piece);
        EXPECT_EQ(t.columns, 65535);
        EXPECT_EQ(t.rows, 256);
        EXPECT_EQ(t.sizes, 2);
    }
}

TEST(telnet, a_subnegotiation_never_closed_stops_at_the_limit)
{
    telnet_session t;
    bytes endless = {IAC, SB, telnet_ttype};
    endless.resize(4000, 'x');
    const fed f = feed(t, endless);
    EXPECT_TRUE(t.overflow);
    EXPECT_TRUE(f.data.empty());
}

TEST(telnet, options_it_does_not_have_are_refused_once_and_data_keeps_its_bytes)
{
    telnet_session t;
    const fed f = feed(t, {IAC, telnet_do, 34, IAC, telnet_do, 34, IAC, telnet_will, 39, IAC, telnet_will, 39, 'q',
                           IAC, IAC, '\r', 0, 'p', '\r', '\n', IAC, 241, IAC, telnet_interrupt});
    EXPECT_EQ(f.reply, (bytes{IAC, telnet_wont, 34, IAC, telnet_dont, 39}));
    EXPECT_EQ(f.data, std::string("q\xff\rp\r\n"));  // IAC IAC is 255; the NUL after CR goes
    EXPECT_TRUE(t.interrupt);
    telnet_session ctrl_c;
    feed(ctrl_c, {'a', 3});
    EXPECT_TRUE(ctrl_c.interrupt);
}

TEST(telnet, framing_doubles_iac_and_follows_a_lone_cr_with_nul)
{
    const std::string in = "a\xff\rb\r\n\r";
    char out[32];
    const int n = telnet_frame(in.data(), static_cast<int>(in.size()), out);
    EXPECT_EQ(std::string(out, static_cast<std::size_t>(n)), std::string("a\xff\xff\r\0b\r\n\r\0", 10));
}

http_request parse(const std::string& head)
{
    http_request r;
    EXPECT_EQ(http_head_end(head.data(), static_cast<int>(head.size()), 0), static_cast<int>(head.size())) << head;
    http_parse(head.data(), static_cast<int>(head.size()), r);
    return r;
}

http_request get(const std::string& target, const std::string& headers = "")
{
    return parse("GET " + target + " HTTP/1.1\r\nHost: example.org:8080\r\n" + headers + "\r\n");
}

TEST(http_request, the_head_ends_at_the_blank_line_however_it_arrives)
{
    const std::string head = "GET / HTTP/1.0\nUser-Agent: x\n\nbody";
    EXPECT_EQ(http_head_end(head.data(), static_cast<int>(head.size()), 0), 30);
    // A byte at a time, each search from two before the end of the last one.
    const std::string crlf = "GET / HTTP/1.1\r\nA: b\r\n\r\n";
    int found = 0, from = 0;
    for (int n = 1; n <= static_cast<int>(crlf.size()) && !found; ++n) {
        found = http_head_end(crlf.data(), n, from);
        from = n > 2 ? n - 2 : 0;
    }
    EXPECT_EQ(found, static_cast<int>(crlf.size()));
}

TEST(http_request, only_plain_names_of_files_in_the_page_folder_are_asked_for)
{
    EXPECT_EQ(get("/").status, 0);
    EXPECT_STREQ(get("/").name, "");
    EXPECT_STREQ(get("/page.js?v=2#x").name, "page.js");
    EXPECT_STREQ(get("/glimfant%5Fengine.wasm").name, "glimfant_engine.wasm");
    for (const char* climbing : {"/..", "/../etc/passwd", "/%2e%2e/x", "/%2E%2E", "/a%2f..%2fb", "/%00", "/a\\b",
                                 "/a%5cb", "http://example.org/", "*", "/%zz"})
        EXPECT_EQ(get(climbing).status, 400) << climbing;
    for (const char* elsewhere : {"/a/b", "/%2fetc%2fpasswd", "/.hidden", "/index.html/", "/%2e"})
        EXPECT_EQ(get(elsewhere).status, 404) << elsewhere;
    EXPECT_EQ(get("/" + std::string(2000, 'a')).status, 414);
    EXPECT_EQ(get("/" + std::string(200, 'a')).status, 404);  // longer than any file's name
}

TEST(http_request, curl_wget_and_plain_text_readers_get_the_show_browsers_the_page)
{
    EXPECT_TRUE(get("/", "User-Agent: curl/7.88.1\r\n").text_client);
    EXPECT_TRUE(get("/", "user-agent: Wget/1.21.3\r\n").text_client);
    EXPECT_TRUE(get("/", "Accept: text/plain\r\n").text_client);
    EXPECT_FALSE(get("/", "User-Agent: Mozilla/5.0 Chrome/120\r\nAccept: text/html,*/*\r\n").text_client);
    EXPECT_FALSE(get("/", "Accept: text/html, text/plain\r\n").text_client);
    EXPECT_STREQ(get("/").host, "example.org:8080");
    EXPECT_STREQ(get("/", "Host: <script>\r\n").host, "");  // the last Host, and not a plain name
}

TEST(http_request, other_methods_versions_and_broken_heads_are_refused)
{
    EXPECT_EQ(parse("POST / HTTP/1.1\r\n\r\n").status, 405);
    EXPECT_EQ(parse("HEAD /x HTTP/1.1\r\n\r\n").method, http_head);
    EXPECT_EQ(parse("GET / HTTP/2.0\r\n\r\n").status, 505);
    EXPECT_EQ(parse("GET /\r\n\r\n").status, 400);
    EXPECT_EQ(parse("GET / HTTP/1.1\r\nno colon here\r\n\r\n").status, 400);
    EXPECT_EQ(parse("\r\n\r\n").status, 400);
}

int proxy(const std::string& s, proxy_source& source)
{
    return proxy_header_read(reinterpret_cast<const unsigned char*>(s.data()), static_cast<int>(s.size()), source);
}

TEST(proxy_header, version_1_gives_the_client_address_and_needs_the_whole_line)
{
    proxy_source s;
    const std::string v4 = "PROXY TCP4 127.0.0.7 127.0.0.1 56324 443\r\nGET";
    EXPECT_EQ(proxy(v4, s), static_cast<int>(v4.size()) - 3);
    EXPECT_EQ(s.family, 4);
    EXPECT_EQ(s.address[0], 127);
    EXPECT_EQ(s.address[3], 7);
    EXPECT_EQ(s.port, 56324);
    EXPECT_EQ(proxy(v4.substr(0, 20), s), 0);
    EXPECT_EQ(proxy("PROXY TCP6 ::ffff:127.0.0.1 ::1 1 2\r\n", s), 37);
    EXPECT_EQ(s.family, 6);
    EXPECT_EQ(s.address[10], 0xFF);
    EXPECT_EQ(s.address[12], 127);
    EXPECT_EQ(s.address[15], 1);
    EXPECT_EQ(proxy("PROXY UNKNOWN\r\n", s), 15);
    EXPECT_EQ(s.family, 0);
    for (const char* bad : {"GET / HTTP/1.1\r\n", "PROXY TCP4 127.0.0.1 127.0.0.1 1 2 3\r\n", "PROXY TCP4 127.0.0.256 127.0.0.1 1 2\r\n",
                            "PROXY TCP4 ::1 ::1 1 2\r\n", "PROXY TCP4 127.0.0.1 127.0.0.1 65536 2\r\n",
                            "PROXY TCP6 ::1:::1 ::1 1 2\r\n", "PROXY TCP4 127.0.0.01 127.0.0.1 1 2\r\n"})
        EXPECT_EQ(proxy(bad, s), -1) << bad;
    EXPECT_EQ(proxy("PROXY TCP4 " + std::string(200, '1'), s), -1);  // no CRLF within 107 bytes
}

TEST(proxy_header, version_2_gives_the_client_address_and_local_gives_none)
{
    const std::string signature("\r\n\r\n\0\r\nQUIT\n", 12);
    proxy_source s;
    std::string v4 = signature + std::string("\x21\x11\x00\x0c", 4) + std::string("\xc0\x00\x02\x07\x0a\x00\x00\x01\x1f\x90\x01\xbb", 12);
    EXPECT_EQ(proxy(v4 + "xyz", s), 28);
    EXPECT_EQ(s.family, 4);
    EXPECT_EQ(s.address[3], 7);
    EXPECT_EQ(s.port, 8080);
    EXPECT_EQ(proxy(v4.substr(0, 20), s), 0);
    std::string v6 = signature + std::string("\x21\x21\x00\x24", 4) + std::string(36, '\x01');
    EXPECT_EQ(proxy(v6, s), 52);
    EXPECT_EQ(s.family, 6);
    EXPECT_EQ(s.port, 0x0101);
    EXPECT_EQ(proxy(signature + std::string("\x20\x00\x00\x00", 4), s), 16);  // LOCAL: a health check
    EXPECT_EQ(s.family, 0);
    EXPECT_EQ(proxy(signature + std::string("\x31\x11\x00\x0c", 4), s), -1);  // version 3
    EXPECT_EQ(proxy(signature + std::string("\x21\x11\xff\xff", 4), s), -1);  // longer than any proxy sends
}

}  // namespace
