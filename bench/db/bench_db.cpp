// Times what the duplicate remover asks of the database layer on a big table, and the sqlite3 tool
// doing the nearest equivalent on a copy of the same file, in the same run.
//
//   bench_db [ROWS] [DELETES]     (defaults 1000000 and 400000)
//
// The table has 8 columns; (a, b) repeats in 40% of the rows, far from the first occurrence.
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/error.h"
#include "db/internal.h"
#include "db/recordset.h"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

template <class F> double timed(const char* label, F&& f) {
    const auto start = Clock::now();
    f();
    const double s = secondsSince(start);
    std::printf("  %-62s %8.2f s\n", label, s);
    std::fflush(stdout);
    return s;
}

std::string shellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

int main(int argc, char** argv) {
    const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const long long wanted = argc > 2 ? std::atoll(argv[2]) : 400000;
    const long long distinct = rows * 6 / 10;

    std::string pattern = (std::filesystem::temp_directory_path() / "rowsifter-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("bench_db: mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = pattern;
    const std::string ours = (dir / "ours.mdb").string();
    const std::string theirs = (dir / "theirs.db").string();
    int status = 0;

    try {
        std::printf("Making %lld rows x 8 columns (%lld distinct (a, b) pairs) ...\n", rows, distinct);
        const std::string n = std::to_string(rows), d = std::to_string(distinct);
        db::internal::createDatabase(
            ours, "",
            "CREATE TABLE t (a TEXT, b TEXT, city TEXT, amount REAL, created DATETIME, note TEXT, qty INTEGER,"
            " code TEXT);"
            "BEGIN;"
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " +
                n +
                "),"
                " keyed(x, k) AS (SELECT x, CASE WHEN x <= " +
                d + " THEN x ELSE (x * 7919) % " + d +
                " + 1 END FROM n)"
                " INSERT INTO t SELECT printf('First%04d', k % 1000), printf('Last%05d', k / 1000),"
                " printf('City%03d', x % 500), (x % 100000) / 100.0, date('2020-01-01', '+' || (x % 1500) || ' days'),"
                " printf('note %d for row %d', x % 97, x), x % 1000, printf('C%08X', (x * 2654435761) % 4294967296)"
                " FROM keyed;"
                "COMMIT;");
        std::filesystem::copy_file(ours, theirs);

        std::printf("\ndb::Connection on %s\n", ours.c_str());
        double total = 0;
        db::Connection c;
        c.Mode = db::adModeReadWrite;
        c.Open(db::BuildConnectionString(ours, ""));
        total += timed("SELECT * INTO [s] From [t]", [&] { c.Execute("SELECT * INTO [s] From [t]"); });
        total += timed("ALTER TABLE [s] ADD COLUMN [c] LONG IDENTITY(1,1)", [&] {
            c.setProperty("Jet OLEDB:Max Locks Per File", db::Value(1000000000));
            c.Execute("ALTER TABLE [s] ADD COLUMN [c] LONG IDENTITY(1,1)");
        });

        // The scan reads row by row and keys each row as the duplicate remover does.
        std::vector<std::int64_t> repeats;
        long long scanned = 0;
        total += timed("static scan SELECT `a`, `b`,`c` FROM `s` order by `c`", [&] {
            db::Recordset r;
            r.CursorLocation = db::adUseServer;
            r.Open("SELECT `a`, `b`,`c` FROM `s` order by `c`", c, db::adOpenStatic, db::adLockOptimistic);
            const long long count = r.RecordCount();
            std::unordered_set<std::string> seen;
            seen.reserve(static_cast<std::size_t>(count));
            for (long long j = 0; j < count; ++j) {
                std::string key = r[0].toText() + ", " + r[1].toText();
                if (!seen.insert(std::move(key)).second)
                    repeats.push_back(r[2].asInteger());
                ++scanned;
                r.MoveNext();
            }
        });
        if (static_cast<long long>(repeats.size()) > wanted)
            repeats.resize(static_cast<std::size_t>(wanted));
        const std::string label = std::to_string(repeats.size()) + " x delete from `s` where `c`=N, then Close";
        total += timed(label.c_str(), [&] {
            for (std::int64_t id : repeats)
                c.Execute("delete from `s` where `c`=" + std::to_string(id));
            c.Close();
        });
        std::printf("  (%lld rows scanned, %zu repeats found)\n", scanned, repeats.size());
        std::printf("  %-62s %8.2f s\n", "total", total);

        // What a grid bound to the whole table costs: its first screen, then a jump to the end.
        std::printf("\ngrid over \"SELECT * FROM [t];\" (dynamic cursor, not part of the total)\n");
        db::Connection g;
        g.Open(db::BuildConnectionString(ours, ""));
        db::Recordset grid;
        timed("Open and read rows 0..50, all 8 columns", [&] {
            grid.Open("SELECT * FROM [t];", g, db::adOpenDynamic, db::adLockOptimistic);
            for (long long row = 0; row <= 50; ++row)
                for (int col = 0; col < grid.fieldCount(); ++col)
                    grid.valueAt(row, col);
        });
        long long count = 0;
        timed("RecordCount", [&] { count = grid.RecordCount(); });
        timed("read the last row", [&] { grid.valueAt(count - 1, 0); });

        std::printf("\nsqlite3 command-line tool on a copy\n");
        double reference = 0;
        auto cli = [&](const std::string& sql) {
            const std::string command = "sqlite3 " + shellQuote(theirs) + " " + shellQuote(sql);
            if (std::system(command.c_str()) != 0)
                throw std::runtime_error("sqlite3 failed: " + command);
        };
        reference += timed("CREATE TABLE c AS SELECT * FROM t", [&] { cli("CREATE TABLE c AS SELECT * FROM t"); });
        reference += timed("CREATE TABLE o AS ... rowid IN (SELECT min(rowid) ... GROUP BY a, b)", [&] {
            cli("CREATE TABLE o AS SELECT * FROM t WHERE rowid IN (SELECT min(rowid) FROM t GROUP BY a, b)");
        });
        std::printf("  %-62s %8.2f s\n", "total", reference);

        std::printf("\nratio db/sqlite3: %.2f (target at most 3)\n", total / reference);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_db: %s\n", e.what());
        status = 1;
    }
    std::filesystem::remove_all(dir);
    return status;
}
