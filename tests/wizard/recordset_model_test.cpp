// The grid model: rows made known a stretch at a time until exactly the table's rows are known, whatever
// the table's size relative to the stretches; values as text with Null empty. (Headers: the table page.)
#include "db/connection.h"
#include "db/connection_string.h"
#include "page_fixture.h"
#include "wizard/recordset_model.h"

#include <QAbstractItemModelTester>

namespace {

using wizard_test::PageTest;

class GridModel : public PageTest {
protected:
    db::Recordset openTable(long long rows) {
        const std::string path = makeDb("rows" + std::to_string(rows) + ".db",
                                        "CREATE TABLE t (n INTEGER, label TEXT);"
                                        "WITH RECURSIVE s(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM s WHERE i < " +
                                            std::to_string(rows) +
                                            ") INSERT INTO t SELECT i, CASE WHEN i % 2 THEN 'odd' END FROM s "
                                            "WHERE " +
                                            std::to_string(rows) + " > 0;");
        db::Connection connection;
        connection.Open(db::BuildConnectionString(path, ""));
        connection.CursorLocation = db::adUseClient;
        db::Recordset recordset;
        recordset.Open("SELECT * FROM [t];", connection, db::adOpenDynamic, db::adLockOptimistic);
        return recordset;
    }
};

TEST_F(GridModel, KnowsExactlyTheTablesRowsOnceFetchedToTheEnd) {
    for (const long long rows : {0LL, 1LL, 255LL, 256LL, 257LL, 1000LL, 4097LL}) {
        wizard::RecordsetModel model(openTable(rows));
        EXPECT_EQ(model.rowCount(), std::min<long long>(rows, 256)) << rows << " rows, first stretch";
        // Attached after the first stretch, which its own fetching would otherwise extend; from then on the
        // stretches come from the calls below (the tester's own fetching would nest inside their signals).
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
        tester.setUseFetchMore(false);
        int fetches = 0;
        while (model.canFetchMore({}) && fetches < 100) {
            model.fetchMore({});
            ++fetches;
        }
        EXPECT_EQ(model.rowCount(), rows) << rows << " rows";
        EXPECT_FALSE(model.canFetchMore({}));
        if (rows > 0) {
            EXPECT_EQ(model.index(static_cast<int>(rows) - 1, 0).data().toString().toLongLong(), rows);
            EXPECT_EQ(model.index(0, 1).data().toString(), "odd");
            if (rows > 1) {
                EXPECT_EQ(model.index(1, 1).data().toString(), "") << "Null shows empty";
            }
        }
    }
}

// A value of megabytes would stall every repaint while the grid lays it out: the cell shows its start.
TEST_F(GridModel, LongValuesShowTheirStartOnly) {
    const std::string path =
        makeDb("long.db", "CREATE TABLE t (v);"
                          "INSERT INTO t VALUES ('short'), (replace(hex(zeroblob(500000)), '00', 'ü')),"
                          "(zeroblob(2000000));");
    db::Connection connection;
    connection.Open(db::BuildConnectionString(path, ""));
    db::Recordset recordset;
    recordset.Open("SELECT * FROM [t];", connection, db::adOpenDynamic, db::adLockOptimistic);
    wizard::RecordsetModel model(recordset);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(0, 0).data().toString(), "short");
    for (int row : {1, 2}) {
        const QString shown = model.index(row, 0).data().toString();
        EXPECT_LE(shown.size(), 1001) << "row " << row;
        EXPECT_GE(shown.size(), 400) << "row " << row;
        EXPECT_TRUE(shown.startsWith(row == 1 ? QString("üüü") : QString("000000"))) << "row " << row;
        EXPECT_FALSE(shown.contains(QChar::ReplacementCharacter)) << "row " << row;
    }
}

} // namespace
