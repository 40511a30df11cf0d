#include "wizard/catalogue_ui.h"
#include "wizard/db_names.h"

#include "app/desktop_reporter.h"
#include "core/program.h"
#include "core/trap.h"
#include "db/catalogue.h"
#include "db/connection_string.h"
#include "wizard/form1.h"
#include "wizard/form2.h"
#include "wizard/forms.h"
#include "wizard/list_utils.h"

#include <QLineEdit>
#include <QListWidget>
#include <optional>
#include <vector>

namespace wizard {

std::string BuildConnectionString() {
    const Form1& page = form1();
    return db::BuildConnectionString(page.Text1->text().toStdString(), page.Text2->text().toStdString());
}

void AddTablesToAccessListbox(QListWidget* listBox, const std::string& path, const std::string& /*password*/) {
    core::Trap trap{core::location("Access.AddTablesToAccessListbox"), app::reporter()};
    std::optional<std::vector<std::string>> tables;
    trap.run(100, [&] { tables.emplace(); });
    trap.run(102, [&] { tables = db::GetAccessTableNames(path, BuildConnectionString()); });
    if (trap.test(104, [&] { return !tables.has_value(); })) {
        trap.run(106, [&] { tables.reset(); });
        return;
    }
    trap.run(108, [&] { listBox->clear(); });
    const std::size_t count = tables ? tables->size() : 0;
    for (std::size_t i = 0; i < count; ++i) {
        trap.run(112, [&] { processPendingEvents(); });
        trap.run(114, [&] { addName(listBox, (*tables)[i]); });
    }
    trap.run(118, [&] { tables.reset(); });
    if (trap.test(120, [&] { return listBox->count() >= 1; }))
        trap.run(120, [&] { listBox->setCurrentRow(0); });
}

bool isListed(const QListWidget* list, const QString& name) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text() == name)
            return true;
    }
    return false;
}

bool IsTableListed(const std::string& name) {
    // The list exists once the database page has moved on; before that no table is known.
    if (!isLoaded(2))
        return false;
    const QListWidget* list = form2().List1;
    for (int i = 0; i < list->count(); ++i) {
        if (nameBytes(list->item(i)) == name)
            return true;
    }
    return false;
}

} // namespace wizard
