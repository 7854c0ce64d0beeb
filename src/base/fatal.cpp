#include "base/fatal.h"

#include <cstdio>
#include <cstdlib>

#include "base/exit_cleanup.h"

void fatal_assertion_failed(const char* expression, const char* file, int line)
{
    exit_cleanup_run();
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, file, line);
    std::fflush(stderr);
    std::abort();
}

void exit_out_of_memory()
{
    exit_cleanup_run();
    std::fputs(out_of_memory_message, stdout);
    std::fflush(stdout);
    std::exit(1);
}
