// Runs several copies of a program side by side and hands back, line by line, what each prints,
// then how each ended and what it cost. A station uses this to give every device a process of its
// own, so a device that hangs or crashes its run cannot touch the others.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct ChildExit {
    int exitCode = -1;                        // 128 + the signal when one ended it; -1 when it never started
    std::string startError;                   // why it never started, naming the failing call
    std::chrono::duration<double> cpuTime{};  // user + system time of the child
    std::chrono::duration<double> wallTime{};
};

class ChildProcessGroup {
public:
    // `child` indexes the argument lists; `standardError` tells the two output streams apart.
    using LineHandler = std::function<void(size_t child, bool standardError, const std::string& line)>;

    // Starts `program` once per argument list, all at once, and returns when every child has ended.
    // Lines are handed over on the calling thread, whole and in the order each child wrote them.
    static std::vector<ChildExit> Run(const std::string& program,
                                      const std::vector<std::vector<std::string>>& argumentLists,
                                      const LineHandler& onLine);
};
