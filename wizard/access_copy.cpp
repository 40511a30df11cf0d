#include "wizard/access_copy.h"

#include "access/header.h"
#include "access/sqlite_copy.h"
#include "app/desktop.h"
#include "app/pointer.h"
#include "app/program.h"
#include "core/program.h"
#include "core/trap.h"
#include "wizard/list_utils.h"
#include "wizard/messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QStandardPaths>
#include <QWidget>
#include <filesystem>
#include <unistd.h>

namespace wizard {

namespace {

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// Where the copy goes: beside the Access file, or in the user's documents folder when that folder cannot
// be written.
std::string copyFolder(const std::string& accessPath, bool& besideTheFile) {
    std::error_code ec;
    std::string folder = std::filesystem::absolute(accessPath, ec).parent_path().string();
    besideTheFile = ::access(folder.c_str(), W_OK) == 0;
    if (!besideTheFile) {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QDir().mkpath(documents);
        folder = documents.toStdString();
    }
    return folder;
}

// While a copy runs the windows repaint but take no input (a second "Next >" would start a second copy);
// Escape, in any window, is noted to cancel the copy.
class CopyInputGuard : public QObject {
public:
    bool escapePressed = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                escapePressed = true;
            return true;
        case QEvent::KeyRelease:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::Shortcut:
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

app::Answer ask(const std::string& text, app::Buttons buttons) {
    return app::desktop().messageBox(text, app::applicationTitle(), buttons, app::Icon::None);
}

} // namespace

std::optional<std::string> offerSqliteCopy(QWidget& page, core::Trap& trap, int statement,
                                           const std::string& accessPath, const std::string& password) {
    std::optional<std::string> result;
    trap.run(statement, [&] {
        // Nothing is read while a password is ignored: a protected file needs its own first.
        accessdb::requirePassword(accessPath, password);
        bool besideTheFile = true;
        const std::string folder = copyFolder(accessPath, besideTheFile);
        std::string target;
        if (const auto earlier = accessdb::findCopy(accessPath, folder, password)) {
            const app::Answer answer =
                ask(text::offerEarlierCopy(fileName(accessPath), *earlier), app::Buttons::YesNoCancel);
            if (answer == app::Answer::Yes) {
                result = *earlier;
                return;
            }
            if (answer != app::Answer::No)
                return;
            target = accessdb::newCopyPath(accessPath, folder);
        } else {
            target = accessdb::newCopyPath(accessPath, folder);
            if (ask(text::offerAccessCopy(fileName(accessPath), fileName(target), folder, besideTheFile),
                    app::Buttons::YesNo) != app::Answer::Yes)
                return;
        }

        app::setPointer(&page, core::PointerBusy);
        struct Restore {
            QWidget& page;
            ~Restore() {
                page.setWindowTitle(QString::fromUtf8(core::kProductName));
                app::setPointer(&page, core::PointerDefault);
            }
        } restore{page};
        // The Access file is read by a helper process; the windows repaint meanwhile, and Escape cancels.
        CopyInputGuard guard;
        QCoreApplication::instance()->installEventFilter(&guard);
        page.setWindowTitle(QString::fromStdString(text::readingAccessFile(fileName(accessPath))));
        accessdb::CopyOptions options;
        options.waiting = [&] {
            processPendingEvents();
            return !guard.escapePressed;
        };
        const accessdb::CopyResult copied = accessdb::copyAccessToSqlite(
            accessPath, target,
            [&](const accessdb::CopyProgress& p) {
                page.setWindowTitle(
                    QString::fromStdString(text::copyingTable(p.table, p.tableIndex + 1, p.tableCount)));
                processPendingEvents();
                return !guard.escapePressed;
            },
            password, options);
        if (copied.cancelled)
            return;
        result = target;
    });
    return result;
}

} // namespace wizard
