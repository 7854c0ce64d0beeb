// Helpers shared by the end-to-end tests that drive the real binary.
#pragma once
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

namespace e2e {

inline bool have_tmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

inline std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Polls until done() holds, for at most ten seconds (a slow CI machine).
inline bool wait_for(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

// The state letter of a process from /proc (R, S, T, Z ...), or 0 when it is gone.
inline char process_state(int pid)
{
    const std::string stat = slurp("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    return paren == std::string::npos || paren + 2 >= stat.size() ? 0 : stat[paren + 2];
}

}  // namespace e2e
