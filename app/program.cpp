#include "app/program.h"

#include "app/desktop.h"
#include "db/catalogue.h"
#include "db/server_address.h"

#include <QCoreApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#ifndef ROWSIFTER_HOME_PAGE
#define ROWSIFTER_HOME_PAGE ""
#endif

namespace app {

namespace {
std::string& titleStore() {
    static std::string title = core::kProductName;
    return title;
}
std::string& folderOverride() {
    static std::string folder;
    return folder;
}
std::function<void(int)>& endHandler() {
    static std::function<void(int)> handler;
    return handler;
}
bool g_ending = false;
} // namespace

std::string titleFromProductName(const std::string& productName) {
    std::string title = productName;
    do {
        const auto blank = title.rfind(' ');
        if (blank == std::string::npos)
            break;
        title.erase(blank);
    } while (title.size() > 40);
    return title;
}

// Kept for the message boxes that name no title of their own. It is not made Qt's display name, which
// some window systems append to every window title ("Application Error — Rowsifter").
void SetApplicationTitle() {
    titleStore() = titleFromProductName(core::kProductName);
}

const std::string& applicationTitle() {
    return titleStore();
}

std::string programFolder() {
    if (!folderOverride().empty())
        return folderOverride();
    return QCoreApplication::applicationDirPath().toStdString();
}

void setProgramFolderForTesting(const std::string& folder) {
    folderOverride() = folder;
}

bool FileExists(const std::string& path) {
    return db::FileExists(path);
}

void endProgram(int status) {
    g_ending = true;
    if (endHandler()) {
        endHandler()(status);
        return;
    }
    // Nothing is pending: every setting was synced when it changed. Ending here, rather than leaving the
    // event loop, keeps other windows' close handlers from running. A statement a server is running for us
    // (the window was closed while it waited) is cancelled rather than left to run on.
    db::cancelServerStatements();
    std::fflush(nullptr);
    std::_Exit(status);
}

void setEndProgramHandler(std::function<void(int)> handler) {
    endHandler() = std::move(handler);
    g_ending = false;
}

bool programEnding() {
    return g_ending;
}

int runPromotion(Desktop& desktop, const std::string& address) {
    double fraction = desktop.randomFraction();
    if (!(fraction >= 0.0) || fraction >= 1.0)
        fraction = 0.0;
    const int number = static_cast<int>(std::floor(fraction * 100.0)) + 1;
    if (number == 7 && !address.empty())
        desktop.openUrl(address);
    return number;
}

const std::string& homePageAddress() {
    static const std::string address = ROWSIFTER_HOME_PAGE;
    return address;
}

} // namespace app
