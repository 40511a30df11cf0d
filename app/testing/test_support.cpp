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

ProgramFolder::ProgramFolder() {
    setProgramFolderForTesting(m_dir.path().toStdString());
}
ProgramFolder::~ProgramFolder() {
    setProgramFolderForTesting({});
}

std::string ProgramFolder::path() const {
    return m_dir.path().toStdString();
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
