#pragma once
// What a run prints: human lines on standard error and a one-line summary on standard output, or with
// --json exactly one JSON object on standard output, whatever happens; and the exit status it ends with.
#include "cli/options.h"
#include <chrono>
#include <string>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

class Outcome {
public:
    explicit Outcome(const Options& options);

    // Prints the failure and what was kept; gives kExitFailed.
    int fail(const std::string& message, const std::string& kept = {});
    // A line on standard error; none with --json.
    void note(const std::string& message) const;
    // Prints the summary; gives kExitOk.
    int succeed(const std::string& summary);

    long long rowsRead = -1, rowsRemoved = -1, rowsWritten = -1;
    bool outputExists = false;
    std::string copiedInto;

private:
    void printJson(bool ok, const std::string& error, const std::string& kept) const;

    const Options& m_options;
    std::chrono::steady_clock::time_point m_started;
};

} // namespace cli
