#include "app/show_server.h"

#include "host/server/server.h"

int run_server(const demo_options& o)
{
    serve_options s;
    s.listen = o.serve_listen;
    s.web_dir = o.serve_web;
    s.code_page_bytes = o.serve_code_page_bytes;
    s.codepage = o.codepage;
    s.max_viewers = static_cast<int>(o.max_viewers);
    s.max_per_address = static_cast<int>(o.max_per_address);
    s.max_new_per_minute = static_cast<int>(o.max_new_per_minute);
    s.stall_limit_s = static_cast<int>(o.stall_limit_s);
    s.proxy_protocol = o.proxy_protocol;
    s.ssh_listen = o.ssh_listen;
    s.ssh_host_key = o.ssh_host_key;
    s.ssh_login_limit_s = static_cast<int>(o.ssh_login_limit_s);
    return serve_show(s);
}
