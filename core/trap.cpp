#include "core/trap.h"
#include "db/error.h"

namespace core {

std::string describeException(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const db::Error& err) {
        return err.description();
    } catch (const std::exception& ex) {
        return ex.what();
    } catch (...) {
        return "Unknown error";
    }
}

void Trap::reportCurrent(int statement) {
    ++m_failures;
    m_reporter.report(describeException(std::current_exception()), m_location, statement);
}

} // namespace core
