#include "app/desktop_reporter.h"

#include "app/desktop.h"

namespace app {

void DesktopReporter::report(const std::string& description, const std::string& location, int statement) {
    desktop().messageBox(buildErrorReportText(description, location, statement), kErrorReportTitle, Buttons::Ok,
                         Icon::Warning);
}

Reporter& reporter() {
    static DesktopReporter r;
    return r;
}

} // namespace app
