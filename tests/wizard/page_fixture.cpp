#include "page_fixture.h"

#include "db/catalogue.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "tests/support/test_support.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/form3.h"
#include "wizard/forms.h"
#include "wizard/list_utils.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace wizard_test {

const char* const kShopScript = R"(
CREATE TABLE Customers (ID INTEGER PRIMARY KEY AUTOINCREMENT, FirstName TEXT, LastName TEXT, City TEXT);
INSERT INTO Customers (FirstName, LastName, City) VALUES
    ('Maria', 'Anders', 'Berlin'), ('Ana', 'Trujillo', 'Mexico'), ('Maria', 'Anders', 'Hamburg'),
    ('Thomas', 'Hardy', 'London'), ('maria', 'anders', 'Berlin'), ('Ana', 'Trujillo', 'Mexico');
CREATE TABLE Orders (OrderID INTEGER PRIMARY KEY, Customer TEXT, Product TEXT, City TEXT);
INSERT INTO Orders VALUES (1, 'Maria', 'Chai', 'Berlin'), (2, 'Ana', 'Tofu', 'Mexico');
CREATE VIEW BerlinCustomers AS SELECT * FROM Customers WHERE City = 'Berlin';
)";

std::string PageTest::makeDb(const std::string& name, const std::string& script, const std::string& password) {
    const std::string path = folder.path() + "/" + name;
    testsupport::runScript(path, script, password);
    return path;
}

std::vector<std::string> PageTest::rows(const std::string& path, const std::string& sql, const std::string& password) {
    return testsupport::joinedRows(testsupport::openConnection(path, password), sql, db::adOpenStatic);
}

void PageTest::dropTable(const std::string& path, const std::string& table) {
    db::Connection connection;
    connection.Open(db::BuildConnectionString(path, ""));
    connection.Execute("DROP TABLE [" + table + "]");
}

std::vector<std::string> PageTest::tables(const std::string& path, const std::string& password) {
    return testsupport::tableNames(path, password);
}

void PageTest::enterDatabase(const std::string& path, const std::string& password) {
    wizard::Form1& page = wizard::form1();
    page.show();
    page.Text1->setText(QString::fromStdString(path));
    page.Text2->setText(QString::fromStdString(password));
}

void PageTest::openDatabase(const std::string& path, const std::string& password) {
    enterDatabase(path, password);
    press(wizard::form1().PushButton3);
}

void PageTest::chooseTable(const QString& table) {
    wizard::Form2& page = wizard::form2();
    select(page.List1, table);
    press(page.PushButton3);
}

void PageTest::chooseField(const QString& field) {
    wizard::Form3& page = wizard::form3();
    select(page.List1, field);
    press(page.PushButton5);
}

void PageTest::reachOutputPage(const std::string& path, const QString& table, const QStringList& fields) {
    openDatabase(path);
    chooseTable(table);
    for (const QString& field : fields)
        chooseField(field);
    press(wizard::form3().PushButton3);
}

void PageTest::press(QPushButton* button) {
    ASSERT_TRUE(button->isVisible()) << button->objectName().toStdString() << " of "
                                     << button->window()->objectName().toStdString() << " is not showing";
    QTest::mouseClick(button, Qt::LeftButton);
}

void PageTest::doubleClickEntry(QListWidget* list, int row) {
    const QPoint at = row >= 0 ? list->visualItemRect(list->item(row)).center() : QPoint(5, list->height() - 5);
    // As the platform delivers it: the first click (which selects), then the double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

QStringList PageTest::entries(const QListWidget* list) {
    return wizard::listTexts(list);
}

void PageTest::select(QListWidget* list, const QString& text) {
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    ASSERT_FALSE(found.isEmpty()) << text.toStdString() << " is not listed";
    list->setCurrentItem(found.first());
}

std::vector<int> PageTest::reported(const std::string& location) const {
    std::vector<int> numbers;
    for (const auto& r : desktop.reports())
        if (r.location == "in Quarnelby2021/08/31." + location + " ")
            numbers.push_back(r.statement);
    return numbers;
}

std::vector<std::string> PageTest::messageTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : desktop.messages())
        texts.push_back(box.text);
    return texts;
}

} // namespace wizard_test
