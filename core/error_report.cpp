#include "core/error_report.h"

#ifndef ROWSIFTER_SUPPORT_EMAIL
#define ROWSIFTER_SUPPORT_EMAIL "support@rowsifter.org"
#endif

namespace core {

const std::string& supportEmail() {
    static const std::string address = ROWSIFTER_SUPPORT_EMAIL;
    return address;
}

std::string buildErrorReportText(const std::string& description, const std::string& location, int statement) {
    std::string text = description;
    text += "\r\n";
    text += location;
    text += "at line ";
    text += std::to_string(statement);
    text += "\r\r";
    text += "Please email screenshot of this message to ";
    text += supportEmail();
    return text;
}

} // namespace core
