#include "app/provider_check.h"

#include "app/desktop.h"
#include "core/error_report.h"
#include "app/program.h"
#include "db/ascii.h"
#include "db/connection.h"
#include "db/error.h"

#ifndef ROWSIFTER_DOWNLOAD_HOST
#define ROWSIFTER_DOWNLOAD_HOST "https://www.microsoft.com"
#endif

namespace app {

namespace {
bool containsCaseless(const std::string& text, const std::string& part) {
    return db::ascii::upper(text).find(db::ascii::upper(part)) != std::string::npos;
}

// Every failure in here is ignored: the check reports nothing beyond its own question.
void offerDownload() noexcept {
    try {
        if (desktop().messageBox(providerMissingMessage(), applicationTitle(), Buttons::YesNo, Icon::None) !=
            Answer::Yes)
            return;
    } catch (...) {
        return;
    }
    for (const std::string& address : providerDownloadAddresses()) {
        try {
            desktop().openUrl(address);
        } catch (...) {
        }
    }
}
} // namespace

std::string providerMissingMessage() {
    const char* paragraphs[] = {
        "Error #3706: Provider cannot be found. It may not be properly installed.",
        "You are getting this error because:",
        "1. Microsoft Access is not installed on your computer.",
        "2. A set of Microsoft components to transfer data is not installed on your computer.",
        "You need to download and install Microsoft Access Database Engine 2010 or 2016 to solve this problem.",
        "Would you like me to open the Microsoft site now so you can do this?",
    };
    std::string text;
    for (const char* p : paragraphs) {
        text += p;
        text += "\r\n\r\n";
    }
    text += "(If you have any further questions please email a screenshot of this error message to ";
    text += core::supportEmail();
    text += ")";
    return text;
}

std::vector<std::string> providerDownloadAddresses() {
    const std::string page = std::string(ROWSIFTER_DOWNLOAD_HOST) + "/en-us/download/details.aspx?id=";
    return {page + "13255", page + "54920"};
}

bool IsProviderInstalled() {
    try {
        db::probeProvider();
        return true;
    } catch (const db::Error& e) {
        if (e.number() == db::err::ProviderNotFound || containsCaseless(e.description(), "provider cannot be found"))
            offerDownload();
    } catch (const std::exception& e) {
        if (containsCaseless(e.what(), "provider cannot be found"))
            offerDownload();
    } catch (...) {
    }
    return false;
}

} // namespace app
