#pragma once
// Per-procedure failure trap: a failing statement is reported with the procedure's location text and
// the statement's number, and the procedure goes on with the next statement.
//
//   Trap trap{"in Quarnelby2021/08/31.Form2.PushButton3_Click ", reporter};
//   if (trap.test(106, [&] { return list->currentRow() >= 0; })) { ... } // a failed condition counts as true
//   trap.run(108, [&] { setPointer(Busy); });
#include "core/error_report.h"
#include <exception>
#include <string>
#include <utility>

namespace core {

class Trap {
public:
    Trap(std::string location, Reporter& reporter) : m_location(std::move(location)), m_reporter(reporter) {}

    const std::string& location() const { return m_location; }
    int failures() const { return m_failures; }

    // Runs one statement; returns false when it failed (and was reported).
    template <class F> bool run(int statement, F&& f) {
        try {
            std::forward<F>(f)();
            return true;
        } catch (...) {
            reportCurrent(statement);
            return false;
        }
    }

    // The condition of an if-statement: a failing condition goes into the then-branch.
    template <class F> bool test(int statement, F&& f) {
        try {
            return static_cast<bool>(std::forward<F>(f)());
        } catch (...) {
            reportCurrent(statement);
            return true;
        }
    }

    // A value-producing statement; on failure reports and returns `fallback`.
    template <class T, class F> T value(int statement, T fallback, F&& f) {
        try {
            return std::forward<F>(f)();
        } catch (...) {
            reportCurrent(statement);
            return fallback;
        }
    }

    // Reports the exception in flight (call only from a catch block).
    void reportCurrent(int statement);

private:
    std::string m_location;
    Reporter& m_reporter;
    int m_failures = 0;
};

// Description text of an exception: db::Error's description, what() of others.
std::string describeException(std::exception_ptr e);

} // namespace core
