#pragma once
// The wizard's pages on real database files: a clean stage per test (recording desktop, private settings,
// own program folder, recorded program end), databases made in the test's folder, and the user's moves.
#include "db/recordset.h"
#include "tests/wizard/window_fixture.h"

#include <QStringList>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace wizard_test {

// The database most tests use: a customer table with repeats, an order table, and a view (never listed).
extern const char* const kShopScript;

class PageTest : public app_test::WindowTest {
protected:
    // A database file in the test's folder, made from plain SQLite statements (encrypted with a password).
    std::string makeDb(const std::string& name, const std::string& script, const std::string& password = "");
    std::string shop() { return makeDb("shop.mdb", kShopScript); }

    // Rows of a statement of the program's dialect, values joined by '|', Null as "<null>".
    static std::vector<std::string> rows(const std::string& path, const std::string& sql,
                                         const std::string& password = "");

    // Drops a table behind the program's back, as another program would.
    static void dropTable(const std::string& path, const std::string& table);
    static std::vector<std::string> tables(const std::string& path, const std::string& password = "");

    // The database page loaded and showing the path and password, as if typed.
    void enterDatabase(const std::string& path, const std::string& password = "");
    // ... and "Next >" pressed there.
    void openDatabase(const std::string& path, const std::string& password = "");
    // On the table page: select `table` and press "Next >".
    void chooseTable(const QString& table);
    // On the field page: select `field` in the available list and press ">".
    void chooseField(const QString& field);
    // The whole way to the output page with `fields` chosen in that order.
    void reachOutputPage(const std::string& path, const QString& table, const QStringList& fields);

    // Presses a button the way the user does; the window it is on must be showing.
    static void press(QPushButton* button);
    static void doubleClickEntry(QListWidget* list, int row);
    static QStringList entries(const QListWidget* list);
    static void select(QListWidget* list, const QString& text);

    // The statements reported so far under `location` ("Form2.PushButton3_Click").
    std::vector<int> reported(const std::string& location) const;
    // The texts of the message boxes that were not error reports.
    std::vector<std::string> messageTexts() const;
};

} // namespace wizard_test
