#include "app/desktop_reporter.h"

#include "app/desktop.h"

namespace app {

void DesktopReporter::report(const std::string& description, const std::string& location, int statement) {
    desktop().messageBox(core::buildErrorReportText(description, location, statement), core::kErrorReportTitle, Buttons::Ok,
                         Icon::Warning);
}

core::Reporter& reporter() {
    static DesktopReporter r;
    return r;
}

} // namespace app
