#include "base/process_exit.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

struct exit_work {
    std::atomic<void (*)(void*)> work{nullptr};  // null: a free place, or done
    void* context = nullptr;
};

exit_work list[exit_cleanup_capacity];
std::atomic<int> used{0};  // places 0 .. used-1 may hold work

}  // namespace

int exit_cleanup_add(void (*work)(void*), void* context)
{
    // Newer work goes after all the older, so that the order holds; the
    // places past the newest still held are taken again.
    int n = used.load();
    while (n > 0 && !list[n - 1].work.load()) --n;
    GLIM_ASSERT(n < exit_cleanup_capacity);
    list[n].context = context;
    list[n].work.store(work);  // after the context: a signal now finds both
    used.store(n + 1);
    return n;
}

void exit_cleanup_remove(int place)
{
    if (place >= 0 && place < exit_cleanup_capacity) list[place].work.store(nullptr);
}

void exit_cleanup_run()
{
    for (int i = used.load() - 1; i >= 0; --i) {
        // exchange: work that fails or is interrupted by a signal never runs twice
        if (void (*work)(void*) = list[i].work.exchange(nullptr)) work(list[i].context);
    }
}

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
