// The output helper on the kinds of file a user may name: a regular file is
// replaced whole, a FIFO or a device is written in place and kept, a link's
// target is replaced and the link kept, a failed write leaves nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "capture/output_file.h"
#include "e2e/e2e_support.h"

namespace {

// Writes text through the helper; the commit's result.
bool write_through(const std::string& path, const char* text)
{
    output_file out;
    char why[512];
    if (!output_open(out, path.c_str(), why, sizeof why)) return false;
    std::fputs(text, out.file);
    return output_commit(out, why, sizeof why);
}

TEST(output_file, a_regular_file_appears_whole_and_a_link_keeps_pointing_at_it)
{
    scratch_dir s("output");
    output_file out;
    char why[512];
    ASSERT_TRUE(output_open(out, (s / "a.bin").c_str(), why, sizeof why)) << why;
    std::fputs("whole", out.file);
    EXPECT_EQ(s.files(), 1);
    EXPECT_NE(access((s / "a.bin").c_str(), F_OK), 0);  // only the temporary file so far
    ASSERT_TRUE(output_commit(out, why, sizeof why)) << why;
    EXPECT_EQ(e2e::slurp(s / "a.bin"), "whole");

    // A link, and a link to where a file is still to be: the targets get the bytes.
    ASSERT_EQ(symlink("a.bin", (s / "link").c_str()), 0);
    ASSERT_EQ(symlink((s / "new.bin").c_str(), (s / "dangling").c_str()), 0);
    ASSERT_TRUE(write_through(s / "link", "again"));
    ASSERT_TRUE(write_through(s / "dangling", "new"));
    struct stat st{};
    ASSERT_EQ(lstat((s / "link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(e2e::slurp(s / "a.bin"), "again");
    EXPECT_EQ(e2e::slurp(s / "new.bin"), "new");
    EXPECT_EQ(s.files(), 4);

    // Dropped, or refused: nothing is left behind.
    ASSERT_TRUE(output_open(out, (s / "dropped.bin").c_str(), why, sizeof why));
    output_discard(out);
    output_discard(out);
    EXPECT_FALSE(output_open(out, s.dir.c_str(), why, sizeof why));
    EXPECT_NE(std::string(why).find("Is a directory"), std::string::npos) << why;
    EXPECT_FALSE(output_open(out, (s / "missing/a.bin").c_str(), why, sizeof why));
    EXPECT_EQ(s.files(), 4);
}

TEST(output_file, a_fifo_or_a_device_is_written_in_place_and_kept)
{
    scratch_dir s("output");
    const std::string fifo = s / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(write_through(fifo, "through"));
    char got[16] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 7);
    EXPECT_STREQ(got, "through");
    close(reader);
    struct stat st{};
    ASSERT_EQ(stat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(s.files(), 1);

    EXPECT_TRUE(write_through("/dev/null", "nothing"));
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    // A full device takes the bytes into the buffer and refuses them at the end.
    output_file out;
    char why[512];
    ASSERT_TRUE(output_open(out, "/dev/full", why, sizeof why));
    std::fputs("too much", out.file);
    EXPECT_FALSE(output_commit(out, why, sizeof why));
    EXPECT_EQ(std::string(why).rfind("writing '/dev/full' failed: ", 0), 0u) << why;
}

}  // namespace
