// Who gets in: the listeners' new connections taken into the table, each
// counted in the limits (viewers at once, by address, new in a minute) or
// marked to be refused with a line saying why; and the open files all of
// them need.
#pragma once
#include <cstdint>

#include "host/server/server_connections.h"

// Raises this process's open files to needed; false after one line on
// standard error when it may not have them. Once, at start-up.
bool raise_file_limit(int needed);
// Takes what the listener has of new connections (at most a few dozen a
// wake-up) into free places: logged, watched, and at their first stage.
void accept_connections(int listener, std::int64_t now);
// Counts c in the limits, or marks it to be refused (c.refusal).
void admit(connection& c, std::int64_t now);
// Past a limit: one line saying why (an HTTP client gets 503), then closed.
void refuse(connection& c, bool http, std::int64_t now);
