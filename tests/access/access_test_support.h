#pragma once
// What the Access tests share: the mdbtools commands as an independent reading of the real files, and
// a file's bytes for before/after comparisons.
#include "tests/support/process.h"
#include "tests/support/test_support.h"
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace accesstest {

using testsupport::shellQuoted;

// Standard output of a shell command.
inline std::string output(const std::string& command) {
    return testsupport::runProcess(command).out;
}

inline std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> parts(1);
    for (char c : s) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace accesstest
