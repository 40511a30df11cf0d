#include "app/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace app {

namespace {
constexpr QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFolder = kOwnerOnly | QFileDevice::ExeOwner;

QString qt(const std::string& s) {
    return QString::fromStdString(s);
}

// The file must never exist with wider permissions, not even between its creation and the first chmod:
// create it empty and private first, so that the settings writer keeps those permissions.
void createPrivately(const QString& path) {
    if (QFileInfo::exists(path))
        return;
    // A folder made here is private whatever the umask; one the user already has is left as it is.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, kOwnerOnlyFolder);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly, kOwnerOnly))
        file.close();
}
} // namespace

std::string SettingsStore::read(const std::string& key, const std::string& fallback) {
    QSettings settings(qt(kSettingsRoot), qt(kSettingsApplication));
    const QVariant value = settings.value(qt(key));
    if (!value.isValid())
        return fallback;
    return value.toString().toStdString();
}

bool SettingsStore::save(const std::string& key, const std::string& value) {
    QSettings settings(qt(kSettingsRoot), qt(kSettingsApplication));
    const QString path = settings.fileName();
    createPrivately(path);
    settings.setValue(qt(key), qt(value));
    settings.sync();
    QFile::setPermissions(path, kOwnerOnly);
    return settings.status() == QSettings::NoError;
}

std::string SettingsStore::filePath() {
    return QSettings(qt(kSettingsRoot), qt(kSettingsApplication)).fileName().toStdString();
}

} // namespace app
