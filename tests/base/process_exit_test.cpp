// The clean-up list: newest first, each once, and before a fatal message.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/process_exit.h"

namespace {

std::string ran;

void note(void* context) { ran += *static_cast<const char*>(context); }

TEST(exit_cleanup, runs_newest_first_each_once_and_skips_what_was_taken_off)
{
    static const char a = 'a', b = 'b', c = 'c', d = 'd';
    ran.clear();
    exit_cleanup_add(note, const_cast<char*>(&a));
    const int second = exit_cleanup_add(note, const_cast<char*>(&b));
    exit_cleanup_add(note, const_cast<char*>(&c));
    exit_cleanup_remove(second);
    exit_cleanup_run();
    exit_cleanup_run();
    EXPECT_EQ(ran, "ca");
    exit_cleanup_add(note, const_cast<char*>(&d));
    exit_cleanup_run();
    EXPECT_EQ(ran, "cad");
}

void say_restored(void*) { std::fputs("restored\n", stderr); }

TEST(exit_cleanup, a_failed_assertion_cleans_up_before_its_message)
{
    EXPECT_DEATH(
        {
            exit_cleanup_add(say_restored, nullptr);
            GLIM_ASSERT(1 + 1 == 3);
        },
        "restored\\s+Assertion failed: 1 \\+ 1 == 3, file .*process_exit_test\\.cpp, line \\w+");
}

}  // namespace
