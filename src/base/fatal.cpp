#include "base/fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {
std::atomic<void (*)()> fatal_cleanup{nullptr};
}

void set_fatal_cleanup(void (*cleanup)()) { fatal_cleanup.store(cleanup); }

void run_fatal_cleanup()
{
    // exchange: a cleanup that itself fails an assertion does not recurse
    void (*cleanup)() = fatal_cleanup.exchange(nullptr);
    if (cleanup) cleanup();
}

void fatal_assertion_failed(const char* expression, const char* file, int line)
{
    run_fatal_cleanup();
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, file, line);
    std::fflush(stderr);
    std::abort();
}

void exit_out_of_memory()
{
    run_fatal_cleanup();
    std::fputs(out_of_memory_message, stdout);
    std::fflush(stdout);
    std::exit(1);
}
