// What the database page's buttons and boxes do when the user works them.
#include "wizard/form1.h"

#include "access/header.h"
#include "app/desktop.h"
#include "app/desktop_reporter.h"
#include "app/program_folder.h"
#include "app/settings_store.h"
#include "core/program.h"
#include "core/trap.h"
#include "db/backend.h"
#include "db/catalogue.h"
#include "db/remembered_address.h"
#include "wizard/access_copy.h"
#include "wizard/catalogue_ui.h"
#include "wizard/form2.h"
#include "wizard/forms.h"
#include "wizard/messages.h"
#include "wizard/page_steps.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <optional>
#include <vector>

namespace wizard {

namespace {
constexpr unsigned long kOpenFileFlags = 0x280001; // read-only box ticked, explorer style, long names

// The whole text selected, so that typing replaces it. Done again once the focusing event is over: a
// mouse click that gave the focus would otherwise put the cursor where it landed.
void selectWholeText(QLineEdit* box) {
    box->selectAll();
    QTimer::singleShot(0, box, [box] {
        if (box->hasFocus())
            box->selectAll();
    });
}
} // namespace

void Form1::PushButton1_Click() {
    if (busy())
        return;
    core::Trap trap{core::location("Form1.PushButton1_Click"), app::reporter()};
    // The program folder's sample, or the user's own copy of it when that folder is not theirs to write.
    trap.run(100, [&] { Text1->setText(QString::fromStdString(app::sampleDatabase())); });
}

void Form1::PushButton3_Click() {
    if (busy())
        return;
    BusyScope working;
    core::Trap trap{core::location("Form1.PushButton3_Click"), app::reporter()};
    // A real Access file cannot be written here: with the user's consent the road goes on with a SQLite copy.
    const std::string typed = Text1->text().toStdString();
    if (!db::isServerUri(typed) && accessdb::isAccessFile(typed)) {
        const auto copy = offerSqliteCopy(*this, trap, 100, typed, Text2->text().toStdString());
        if (!copy)
            return;
        Text1->setText(QString::fromStdString(*copy));
    }
    // Only the go or no-go test: the names the user sees are read again when the list is filled.
    std::optional<std::vector<std::string>> catalogue;
    trap.run(100, [&] { catalogue = db::GetAccessTableNames(Text1->text().toStdString(), BuildConnectionString()); });
    if (trap.test(102, [&] { return !catalogue.has_value(); })) {
        trap.run(104, [&] { catalogue.reset(); });
        return;
    }
    trap.run(106, [&] {
        AddTablesToAccessListbox(form2().List1, Text1->text().toStdString(), Text2->text().toStdString());
    });
    trap.run(108, [&] { form2().show(); });
    trap.run(110, [&] { hide(); });
}

void Form1::PushButton4_Click() {
    core::Trap trap{core::location("Form1.PushButton4_Click"), app::reporter()};
    trap.run(100, [&] {
        showMessage(text::kDatabaseHelp);
    });
}

void Form1::PushButton5_Click() {
    if (busy())
        return;
    core::Trap trap{core::location("Form1.PushButton5_Click"), app::reporter()};
    app::FileDialogRequest dialog;
    std::string chosen;
    trap.run(100, [&] { dialog.fileName.clear(); });
    trap.run(102, [&] { dialog.flags = kOpenFileFlags; });
    trap.run(104, [&] { dialog.title = text::kBrowseTitle; });
    trap.run(106, [&] { dialog.filter = text::kBrowseFilter; });
    trap.run(108, [&] { chosen = app::desktop().openFileDialog(dialog); });
    if (trap.test(110, [&] { return chosen.empty(); }))
        return;
    trap.run(112, [&] { Text1->setText(QString::fromStdString(chosen)); });
}

// Both boxes are mirrored into the settings on every change, so nothing needs saving at exit. A file that
// cannot be written is said once per run, not at every keystroke.
namespace {
void saveSetting(const char* key, const QString& value) {
    static bool told = false;
    if (!app::SettingsStore::save(key, value.toStdString()) && !told) {
        told = true;
        showMessage(text::settingsNotSaved(app::SettingsStore::filePath()));
    }
}
} // namespace

// A server address is remembered without its password part, even while it is being typed: the settings
// file is plain text. "Next >" refuses such an address all the same.
void Form1::Text1_Change() {
    saveSetting(app::kDatabaseKey, QString::fromStdString(db::rememberedDataSource(Text1->text().toStdString())));
}

void Form1::Text2_Change() {
    saveSetting(app::kPasswordKey, Text2->text());
}

void Form1::Text1_GotFocus() {
    selectWholeText(Text1);
}

void Form1::Text2_GotFocus() {
    selectWholeText(Text2);
}

} // namespace wizard
