#pragma once
// The wizard's error report: the report text in a warning box titled "Application Error" with one OK.
#include "app/error_report.h"

namespace app {

class DesktopReporter : public Reporter {
public:
    void report(const std::string& description, const std::string& location, int statement) override;
};

// The reporter every trapped procedure of the wizard uses.
Reporter& reporter();

} // namespace app
