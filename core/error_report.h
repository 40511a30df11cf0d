#pragma once
// The uniform failure report: what the user reads when a trapped statement fails.
#include <string>

namespace core {

// Address named in every report and in the provider message.
const std::string& supportEmail();

// description CR LF location "at line " number CR CR "Please email screenshot of this message to " address
std::string buildErrorReportText(const std::string& description, const std::string& location, int statement);

inline constexpr const char* kErrorReportTitle = "Application Error";

// Shows one report and returns when the user has closed it.
class Reporter {
public:
    virtual ~Reporter() = default;
    virtual void report(const std::string& description, const std::string& location, int statement) = 0;
};

} // namespace core
