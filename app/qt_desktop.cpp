#include "app/qt_desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QTime>
#include <QUrl>
#include <random>

namespace app {

QStringList qtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1].trimmed();
        if (pattern.isEmpty())
            continue;
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters;
}

QString displayText(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

Answer QtDesktop::messageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(text));
    box.setIcon(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon);
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else if (buttons == Buttons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int result = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    if (result == QMessageBox::Yes)
        return Answer::Yes;
    return buttons == Buttons::YesNoCancel && result != QMessageBox::No ? Answer::Cancel : Answer::No;
}

namespace {

// Qt's own file dialog remembers the folders it visited in a settings file of the toolkit's. The program
// writes no file besides its own settings, so that file is put back as it was once the dialog is gone.
class ToolkitSettingsGuard {
public:
    ToolkitSettingsGuard() : m_path(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName()) {
        QFile file(m_path);
        m_existed = file.open(QIODevice::ReadOnly);
        if (m_existed)
            m_before = file.readAll();
    }
    ~ToolkitSettingsGuard() {
        QFile file(m_path);
        if (!m_existed) {
            file.remove();
        } else if (file.open(QIODevice::ReadOnly) && file.readAll() != m_before) {
            file.close();
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write(m_before);
        }
    }
    ToolkitSettingsGuard(const ToolkitSettingsGuard&) = delete;
    ToolkitSettingsGuard& operator=(const ToolkitSettingsGuard&) = delete;

private:
    QString m_path;
    bool m_existed = false;
    QByteArray m_before;
};

} // namespace

std::string QtDesktop::openFileDialog(const FileDialogRequest& request) {
    const ToolkitSettingsGuard untouched; // declared first, so it acts after the dialog is destroyed
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
    }
    if (!request.fileName.empty())
        dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first().toStdString();
}

void QtDesktop::openUrl(const std::string& url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

double QtDesktop::randomFraction() {
    // Seeded afresh from the time of day, as the promotion asks for.
    std::mt19937 generator(static_cast<std::mt19937::result_type>(QTime::currentTime().msecsSinceStartOfDay()));
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

} // namespace app
