#include "tests/support/process.h"
#include "tests/support/test_support.h"
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace testsupport {

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

ProcessResult runProcess(const std::string& command, const std::string& input) {
    // Files, not pipes: a program that writes much to both outputs cannot block on either.
    const TempFolder folder;
    const std::string in = folder.file("in"), out = folder.file("out"), err = folder.file("err");
    std::ofstream(in, std::ios::binary) << input;
    // A group, so that the command's own redirections (2>&1) are made inside the captured outputs.
    const std::string line =
        "{ " + command + "\n} <" + shellQuoted(in) + " >" + shellQuoted(out) + " 2>" + shellQuoted(err);
    const int raw = std::system(line.c_str());
    ProcessResult result;
    result.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    return result;
}

} // namespace testsupport
