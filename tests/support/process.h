#pragma once
// The one way a test runs another program: a command line given to the shell, its standard input from a
// text, its exit status and both outputs captured.
#include <string>

namespace testsupport {

struct ProcessResult {
    int status = -1; // the exit status; -1 when the shell could not be run
    std::string out;
    std::string err;
};

// Runs a shell command (its words quoted with shellQuoted) with `input` on its standard input, so it never
// reads a terminal; what it writes to its standard output and error is captured, 2>&1 included.
ProcessResult runProcess(const std::string& command, const std::string& input = {});

} // namespace testsupport
