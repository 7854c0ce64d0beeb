// Program-wide fatal paths: the assertion that stays on in every build and the
// out-of-memory exit. Every layer may include this header; it knows nothing of
// the terminal but runs the clean-up list (exit_cleanup.h) first, so a message
// is never wiped by the alternate screen.
#pragma once

// Checks a cheap invariant. On failure: restore the terminal, write
// "Assertion failed: <expr>, file <file>, line <line>\n" to standard error and abort.
#define GLIM_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : fatal_assertion_failed(#expr, __FILE__, __LINE__))

inline constexpr const char out_of_memory_message[] =
    "AAAARGH, ikke mer minne igjen, kj\xC3\xB8p mer RAM, din soper\n";

// Restores, reports and aborts; never returns.
[[noreturn]] void fatal_assertion_failed(const char* expression, const char* file, int line);

// Restores, prints the out-of-memory message on standard output and exits with status 1.
[[noreturn]] void exit_out_of_memory();
