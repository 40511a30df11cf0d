// Renders each of the four wizard windows to a PNG so a person can look at the layouts.
// Usage: render_windows FOLDER   (the boxes of the first window get a sample path and password)
#include "app/testing/fake_desktop.h"
#include "app/testing/test_support.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"
#include "wizard/forms.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_windows FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(folder.path());

    app::testing::FakeDesktop desktop; // no promotion, no boxes on screen
    app::testing::IsolatedSettings settings;
    app::testing::RecordedEnd end;

    wizard::form1().Text1->setText(QStringLiteral("/home/user/Documents/Orders.accdb"));
    wizard::form1().Text2->setText(QStringLiteral("secret"));
    wizard::form2().List1->addItems({QStringLiteral("Customers"), QStringLiteral("Orders")});
    QWidget* pages[] = {&wizard::form1(), &wizard::form2(), &wizard::form3(), &wizard::form4()};
    int failures = 0;
    for (int i = 0; i < 4; ++i) {
        pages[i]->show();
        QApplication::processEvents();
        const QString path = folder.filePath(QStringLiteral("form%1.png").arg(i + 1));
        if (!pages[i]->grab().save(path)) {
            std::fprintf(stderr, "render_windows: cannot write %s\n", qPrintable(path));
            ++failures;
        } else {
            std::printf("%s\n", qPrintable(path));
        }
        pages[i]->hide();
    }
    wizard::unloadAll();
    return failures == 0 ? 0 : 1;
}
