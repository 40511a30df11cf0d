#include "app/testing/test_support.h"

#include "app/program.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace app::testing {

IsolatedSettings::IsolatedSettings() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
}

IsolatedSettings::~IsolatedSettings() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

std::string IsolatedSettings::folder() const {
    return m_dir.path().toStdString();
}

RecordedEnd::RecordedEnd() {
    setEndProgramHandler([this](int status) { statuses.push_back(status); });
}

RecordedEnd::~RecordedEnd() {
    setEndProgramHandler(nullptr);
}

IsolatedUserData::IsolatedUserData()
    : m_saved(qgetenv("XDG_DATA_HOME")), m_wasSet(qEnvironmentVariableIsSet("XDG_DATA_HOME")) {
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()));
}

IsolatedUserData::~IsolatedUserData() {
    if (m_wasSet)
        qputenv("XDG_DATA_HOME", m_saved);
    else
        qunsetenv("XDG_DATA_HOME");
}

std::string IsolatedUserData::folder() const {
    return m_dir.path().toStdString();
}

ProgramFolder::ProgramFolder() {
    setProgramFolderForTesting(m_dir.path().toStdString());
}
ProgramFolder::~ProgramFolder() {
    setProgramFolderForTesting({});
}

std::string ProgramFolder::path() const {
    return m_dir.path().toStdString();
}

void ProgramFolder::runFrom(const std::string& relative) const {
    const QString folder = m_dir.filePath(QString::fromStdString(relative));
    QDir().mkpath(folder);
    setProgramFolderForTesting(folder.toStdString());
}

std::string ProgramFolder::write(const std::string& relative, const std::string& content) const {
    const QString file = m_dir.filePath(QString::fromStdString(relative));
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content.data(), static_cast<qint64>(content.size()));
    return file.toStdString();
}

} // namespace app::testing
