// A scratch folder of a test's own: made for this run under the temporary
// folder (TMPDIR, else /tmp) with a name nobody else holds (mkdtemp), and
// removed with everything in it at the end. Any number of test runs on one
// machine (a second checkout, the sanitizer build's suite beside the
// optimised one's) then never meet in a file name.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <random>
#else
#include <stdlib.h>
#include <unistd.h>
#endif

struct scratch_dir {
    std::string dir;  // without a trailing separator; empty (and the test failed) when none could be made

    // name says whose folder it is: TMPDIR/glimfant-NAME-XXXXXX.
    explicit scratch_dir(const std::string& name)
    {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        const std::string prefix = (base / ("glimfant-" + name + "-")).string();
#ifdef _WIN32
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            const std::string candidate = prefix + std::to_string(random() % 1000000000u);
            if (std::filesystem::create_directory(candidate, error)) dir = candidate;  // false when it exists
        }
#else
        std::string pattern = prefix + "XXXXXX";
        if (!error && mkdtemp(pattern.data())) dir = pattern;
        owner = getpid();
#endif
        if (dir.empty()) ADD_FAILURE() << "cannot make a scratch folder " << prefix << "...";
    }

    ~scratch_dir()
    {
#ifndef _WIN32
        if (getpid() != owner) return;  // a forked child leaves its parent's folder alone
#endif
        std::error_code error;
        if (!dir.empty()) std::filesystem::remove_all(dir, error);
    }

    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;

    std::string operator/(const std::string& name) const { return dir + "/" + name; }

    // The entries in the folder now.
    int files() const
    {
        std::error_code error;
        int count = 0;
        for (std::filesystem::directory_iterator i(dir, error), end; !error && i != end; i.increment(error)) ++count;
        return count;
    }

private:
#ifndef _WIN32
    pid_t owner = 0;
#endif
};
