#include "app/show_server.h"

#include <cstdio>

int run_server(const demo_options&)
{
    std::fputs("glimfant: this build cannot serve the show (--serve and --ssh are for Unix)\n", stderr);
    return 2;
}
