// --serve: the show served to many viewers over the network, where this
// build has the server (show_server_posix.cpp); elsewhere a stand-in that
// says it has not (show_server_none.cpp).
#pragma once

#include "app/options.h"

// Serves until SIGTERM or SIGINT; the exit status.
int run_server(const demo_options& o);
