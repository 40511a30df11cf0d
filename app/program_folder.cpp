#include "app/program_folder.h"

#include "app/program.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <initializer_list>
#include <stdexcept>
#include <unistd.h>

#ifndef ROWSIFTER_ASSETS_FROM_BIN
#define ROWSIFTER_ASSETS_FROM_BIN "../share/rowsifter"
#endif

namespace app {

namespace {
constexpr const char* kSample = "Samples/sample.mdb";

QString qt(const std::string& s) {
    return QString::fromStdString(s);
}

QString inFolder(const QString& folder, const std::string& relative) {
    return folder + QLatin1Char('/') + qt(relative);
}

// The first folder holding `relative`, as a path; empty when none does.
QString firstHolding(const std::string& relative, std::initializer_list<QString> folders) {
    for (const QString& folder : folders) {
        const QString path = inFolder(folder, relative);
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// access() answers for this user and this mount: a read-only mount says no to root as well.
bool writable(const QString& path) {
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

std::string userCopyOf(const QString& shipped) {
    if (userDataFolder().empty())
        throw std::runtime_error("There is no data folder of yours to copy the sample database " +
                                 shipped.toStdString() + " into.");
    const QString copy = inFolder(qt(userDataFolder()), kSample);
    // The user's copy holds their work: once made, it is never replaced.
    if (QFileInfo::exists(copy))
        return copy.toStdString();
    const QString folder = QFileInfo(copy).absolutePath();
    if (!QDir().mkpath(folder))
        throw std::runtime_error("The folder " + folder.toStdString() +
                                 " for your copy of the sample database cannot be made.");
    QFile source(shipped);
    if (!source.copy(copy)) {
        if (QFileInfo::exists(copy)) // another copy of the program made it meanwhile
            return copy.toStdString();
        throw std::runtime_error("The sample database " + shipped.toStdString() + " cannot be copied to " +
                                 copy.toStdString() + ": " + source.errorString().toStdString());
    }
    // The copy keeps the shipped file's permissions, which may not let its owner write.
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return copy.toStdString();
}
} // namespace

std::string installedAssetFolder() {
    return QDir::cleanPath(qt(programFolder()) + QStringLiteral("/" ROWSIFTER_ASSETS_FROM_BIN)).toStdString();
}

std::string programFile(const std::string& relative) {
    const QString found = firstHolding(relative, {qt(programFolder()), qt(installedAssetFolder())});
    return found.isEmpty() ? inFolder(qt(programFolder()), relative).toStdString() : found.toStdString();
}

std::string userDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString();
}

std::string skinFile() {
    const std::string relative = "x/o.cjs";
    const QString found =
        firstHolding(relative, {qt(programFolder()), qt(userDataFolder()), qt(installedAssetFolder())});
    return found.isEmpty() ? inFolder(qt(programFolder()), relative).toStdString() : found.toStdString();
}

std::string sampleDatabase() {
    const QString besideProgram = inFolder(qt(programFolder()), kSample);
    if (QFileInfo::exists(besideProgram)) {
        if (writable(besideProgram) && writable(QFileInfo(besideProgram).absolutePath()))
            return besideProgram.toStdString();
        return userCopyOf(besideProgram);
    }
    // An installed copy always works on the user's copy, even when run by someone who could write the
    // shipped one: that one stays as shipped for every user.
    const QString installed = inFolder(qt(installedAssetFolder()), kSample);
    if (QFileInfo::exists(installed))
        return userCopyOf(installed);
    return besideProgram.toStdString();
}

} // namespace app
