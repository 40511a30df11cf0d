// Rowsifter: the wizard that copies a database table without its duplicate rows.
#include "app/appearance.h"
#include "core/program.h"
#include "wizard/forms.h"
#include "wizard/messages.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return true;
    }
    return false;
}

// While the toolkit connects to the display, its own complaints are replaced by the one sentence above.
void startupMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs(wizard::text::kNoDisplay, stderr);
        std::_Exit(1);
    }
    if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv) {
    // Answered before the toolkit starts, so they work without a display. Anything else is the toolkit's.
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::fputs(std::strcmp(argv[1], "--help") == 0 ? wizard::text::kUsage : wizard::text::version().c_str(),
                   stdout);
        return 0;
    }
    if (!displayAvailable()) {
        std::fputs(wizard::text::kNoDisplay, stderr);
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(startupMessages);
    QApplication application(argc, argv);
    qInstallMessageHandler(previous);

    // Names the user's data folder (~/.local/share/Rowsifter), whatever the executable is called.
    QApplication::setApplicationName(QString::fromUtf8(core::kProductName));
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("rowsifter"));
    QApplication::setWindowIcon(app::mainIcon());

    wizard::startUp();
    const int status = QApplication::exec();
    wizard::unloadAll();
    return status;
}
