// How long the field page's preview takes to show its first screen of a big table, and whether memory
// grows with the table. Usage: rowsifter-preview-bench FILE TABLE [FILE TABLE ...] (bench/wizard/run.sh)
// Each pair is measured in turn in the same process; the figures are printed, nothing is judged.
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/pg/scroll_source.h"
#include "db/recordset.h"
#include "db/sql_quote.h"
#include "wizard/recordset_model.h"

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void measure(QTableView& grid, const std::string& path, const std::string& table) {
    wizard::unbindGrid(&grid);
    QApplication::processEvents();
    const long rssBefore = residentKiB();
    const long long fetchedBefore = db::pg::scrollCounters().rowsFetched;
    const auto start = std::chrono::steady_clock::now();
    long rssOpened = 0;
    {
        // As the table page does it: a client-side connection whose only reference ends with the
        // block, a dynamic record set over the whole table, bound to the grid.
        db::Connection connection;
        connection.Mode = db::adModeReadWrite;
        connection.Open(db::BuildConnectionString(path, ""));
        connection.CursorLocation = db::adUseClient;
        db::Recordset recordset;
        recordset.Open("SELECT * FROM " + db::quoteBracket(table) + ";", connection, db::adOpenDynamic,
                       db::adLockOptimistic);
        rssOpened = residentKiB();
        wizard::bindGrid(&grid, recordset);
    }
    grid.viewport()->repaint(); // the first screen, painted now rather than at the next event
    const double firstScreenMs = msSince(start);
    const long rssFirst = residentKiB();

    const int rowsFirst = grid.model()->rowCount();
    const long long fetchedFirst = db::pg::scrollCounters().rowsFetched - fetchedBefore;

    // The user drags the scroll bar to the bottom until the table's last row is on the screen.
    const auto scrollStart = std::chrono::steady_clock::now();
    int drags = 0;
    do {
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
        QApplication::processEvents();
        grid.viewport()->repaint();
        ++drags;
    } while (grid.model()->canFetchMore({}));
    const double lastScreenMs = msSince(scrollStart);
    const long rssLast = residentKiB();

    std::printf("%s\n  first screen %.1f ms (%d rows known), memory: record set +%ld KiB, grid +%ld KiB\n"
                "  to the last of %d rows: %d drags to the bottom, %.1f ms, memory +%ld KiB more "
                "(RSS %ld KiB before)\n",
                (path + ":" + table).c_str(), firstScreenMs, rowsFirst, rssOpened - rssBefore, rssFirst - rssOpened,
                grid.model()->rowCount(), drags, lastScreenMs, rssLast - rssFirst, rssBefore);
    // Server tables only: rows that came over the network through the grid's cursor.
    if (const long long fetched = db::pg::scrollCounters().rowsFetched - fetchedBefore)
        std::printf("  rows fetched from the server: %lld for the first screen, %lld in all\n", fetchedFirst, fetched);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: %s FILE TABLE [FILE TABLE ...]\n", argv[0]);
        return 2;
    }
    QTableView grid;
    grid.resize(800, 600);
    grid.show();
    if (!QTest::qWaitForWindowExposed(&grid))
        std::fprintf(stderr, "note: the grid window was not exposed; painting may be skipped\n");
    try {
        for (int i = 1; i + 1 < argc; i += 2)
            measure(grid, argv[i], argv[i + 1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
