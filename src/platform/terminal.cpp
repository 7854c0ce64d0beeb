#include "platform/terminal.h"

bool terminal_platform(platform_api&, const terminal_options&, const char** why)
{
    *why = "the terminal backend is not built yet";
    return false;
}
