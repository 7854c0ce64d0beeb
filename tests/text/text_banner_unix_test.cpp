// The banner's out-of-memory exit, with the address space capped by
// setrlimit (Unix only).
#include "text/text_banner.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_limits_work = false;  // the sanitizer reserves huge address ranges
#else
constexpr bool address_limits_work = true;
#endif

// Caps the address space a little above what the process uses now, and
// sends standard output to standard error, where the death test looks.
void leave_little_memory()
{
    dup2(2, 1);
    long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    const rlim_t used = static_cast<rlim_t>(pages) * 4096;
    const rlimit limit{used + (8u << 20), used + (8u << 20)};
    setrlimit(RLIMIT_AS, &limit);
}

TEST(text_banner_death, a_text_copy_without_memory_exits_with_status_1)
{
    if (!address_limits_work) GTEST_SKIP() << "address-space limits do not work under the sanitizer";
    const std::string huge(64u << 20, 'A');
    text_banner banner;
    EXPECT_EXIT((leave_little_memory(), banner_create(banner, huge.c_str())),
                testing::ExitedWithCode(1), "AAAARGH, ikke mer minne igjen");
}

}  // namespace
