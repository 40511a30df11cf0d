#pragma once
// The wizard's error report: the report text in a warning box titled "Application Error" with one OK.
#include "core/error_report.h"

namespace app {

class DesktopReporter : public core::Reporter {
public:
    void report(const std::string& description, const std::string& location, int statement) override;
};

// The reporter every trapped procedure of the wizard uses.
core::Reporter& reporter();

} // namespace app
