// Times reading an Access file through libmdb alone and copying it into a new SQLite database, over
// several rounds, and prints rows per second for each. There is no large real Access file to time (nothing
// on Linux writes one safely), so the rows of the file's largest table are also written again and again,
// as the copy writes them, to time the SQLite side on a large volume. The copy itself runs as the program
// runs it: in the helper process that reads the Access file.
//
//   bench_access_copy [ACCESS-FILE] [ROUNDS] [PASSWORD] [VOLUME-ROWS]
//   (defaults: Northwind of the test data, 20 rounds, no password, 1000000 rows)
//
// A password is needed for a protected file; its copy is then encrypted, which is timed as it is.
#include "access/copy_writer.h"
#include "db/bulk_writer.h"
#include "db/error.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    std::vector<double> seconds;
    void print(const char* label, long long rows) {
        std::sort(seconds.begin(), seconds.end());
        const double median = seconds[seconds.size() / 2];
        std::printf("  %-48s best %8.4f s  median %8.4f s  %10.0f rows/s (median)\n", label, seconds.front(), median,
                    static_cast<double>(rows) / median);
    }
};

template <class F> double timed(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Writes `volume` rows, cycling through the rows of the largest table, as the copy writes them: prepared
// inserts with their values bound, a commit every 10,000 rows.
double timeVolume(const accessdb::Reader& reader, const std::string& target, const std::string& key, long long volume) {
    accessdb::Table largest;
    for (const std::string& name : reader.tableNames()) {
        accessdb::Table t = reader.table(name);
        if (t.rowCount > largest.rowCount)
            largest = std::move(t);
    }
    largest.primaryKey.clear(); // the repeated rows repeat their keys
    std::vector<std::vector<db::Value>> rows;
    reader.readRows(largest.name, [&](const accessdb::Row& row) {
        std::vector<db::Value> values;
        for (std::size_t i = 0; i < row.size(); ++i)
            values.push_back(accessdb::storedValue(largest.columns[i].type, row[i]));
        rows.push_back(std::move(values));
        return true;
    });
    return timed([&] {
        db::BulkWriter writer(target, key, accessdb::createTableSql(largest));
        const int insert = writer.prepareInsert(largest.name, largest.columns.size());
        for (long long done = 0; done < volume; ++done) {
            writer.insert(insert, rows[static_cast<std::size_t>(done) % rows.size()]);
            if ((done + 1) % 10000 == 0)
                writer.commit();
        }
        writer.finish();
    });
}

} // namespace

int main(int argc, char** argv) {
    const std::string source = argc > 1 ? argv[1] : std::string(ROWSIFTER_ACCESS_TESTDATA) + "/nwind.mdb";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const std::string password = argc > 3 ? argv[3] : "";
    const long long volume = argc > 4 ? std::max(1LL, std::atoll(argv[4])) : 1000000;
    try {
        const auto work = std::filesystem::temp_directory_path() / ("bench-access-" + std::to_string(::getpid()));
        std::filesystem::create_directories(work);
        const std::string target = (work / "copy.db").string();
        long long rows = 0;
        long long bytes = 0;
        Figures read, copy;
        for (int round = 0; round < rounds; ++round) {
            rows = 0;
            read.seconds.push_back(timed([&] {
                const accessdb::Reader reader(source, password);
                for (const std::string& table : reader.tableNames())
                    rows += reader.readRows(table, [](const accessdb::Row&) { return true; });
            }));
            copy.seconds.push_back(timed([&] { accessdb::copyAccessToSqlite(source, target, {}, password); }));
            bytes = static_cast<long long>(std::filesystem::file_size(target));
            std::filesystem::remove(target);
        }
        const accessdb::Reader reader(source, password);
        Figures written;
        written.seconds.push_back(
            timeVolume(reader, target, reader.passwordProtected() ? password : std::string(), volume));
        std::filesystem::remove_all(work);

        std::printf("%s: %lld rows, %lld bytes of SQLite, %d rounds%s\n", source.c_str(), rows, bytes, rounds,
                    password.empty() ? "" : ", encrypted copy");
        read.print("read every table (libmdb, values decoded)", rows);
        copy.print("copy into a new SQLite database", rows);
        written.print(("write " + std::to_string(volume) + " rows of the largest table").c_str(), volume);
    } catch (const db::Error& e) {
        std::fprintf(stderr, "bench_access_copy: %s\n", e.description().c_str());
        return 1;
    }
}
