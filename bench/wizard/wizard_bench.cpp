// The wizard's run of a big table, the way the user starts it: the database page, the table page, the
// chosen fields, "Start Creating". Prints how long the run took, how often the window's title changed
// and the peak memory, and checks the rows of the output table.
// Usage: rowsifter-wizard-bench FILE TABLE OUTPUT FIELD [FIELD ...]
#include "app/testing/fake_desktop.h"
#include "app/testing/test_support.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/form4.h"
#include "wizard/forms.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

long statusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    return -1;
}

bool choose(QListWidget* list, const char* text) {
    const auto found = list->findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found.isEmpty()) {
        std::fprintf(stderr, "%s is not listed\n", text);
        return false;
    }
    list->setCurrentItem(found.first());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FILE TABLE OUTPUT FIELD [FIELD ...]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    app::testing::FakeDesktop desktop; // answers "Done." (and any report) at once
    app::testing::IsolatedSettings settings;

    wizard::startUp();
    wizard::Form1& database = wizard::form1();
    database.Text1->setText(QString::fromStdString(path));
    database.PushButton3->click();
    if (!choose(wizard::form2().List1, argv[2]))
        return 1;
    wizard::form2().PushButton3->click();
    wizard::Form3& fields = wizard::form3();
    for (int i = 4; i < argc; ++i) {
        if (!choose(fields.List1, argv[i]))
            return 1;
        fields.PushButton5->click();
    }
    fields.PushButton3->click();
    wizard::Form4& output = wizard::form4();
    output.Text1->setText(QString::fromUtf8(argv[3]));
    if (!QTest::qWaitForWindowExposed(&output))
        std::fprintf(stderr, "note: the output page was not exposed; nothing may have been painted\n");

    long titles = 0;
    QObject::connect(&output, &QWidget::windowTitleChanged, [&] { ++titles; });
    const auto start = std::chrono::steady_clock::now();
    output.PushButton4->click();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    long long written = -1;
    try {
        db::Connection connection;
        connection.Open(db::BuildConnectionString(path, ""));
        db::Recordset result;
        result.Open("SELECT * FROM " + db::quoteBracket(argv[3]), connection, db::adOpenKeyset, db::adLockReadOnly);
        written = result.RecordCount();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "output table: %s\n", e.what());
    }
    for (const auto& report : desktop.reports())
        std::fprintf(stderr, "report at %d: %s\n", report.statement, report.description.c_str());
    std::printf("wizard run: %.2f s, rows written %lld, title changes %ld, peak memory %ld MB, reports %zu\n", seconds,
                written, titles, statusKiB("VmHWM:") / 1024, desktop.reports().size());
    wizard::unloadAll();
    return desktop.reports().empty() && written >= 0 ? 0 : 1;
}
