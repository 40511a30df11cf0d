#include "core/trap.h"
#include "db/error.h"
#include <cstdio>
#include <cstdlib>

namespace core {

std::string describeException(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const db::Error& err) {
        return err.description();
    } catch (const std::exception& ex) {
        return ex.what();
    } catch (...) {
#ifndef NDEBUG
        // Everything the program throws derives from std::exception; anything else is a programming error,
        // which a debug build stops at instead of showing it as a report to the user.
        std::fputs("Rowsifter: an exception of an unexpected type reached a trapped statement\n", stderr);
        std::abort();
#endif
        return "Unknown error";
    }
}

void Trap::reportCurrent(int statement) {
    ++m_failures;
    m_reporter.report(describeException(std::current_exception()), m_location, statement);
}

} // namespace core
