// What the database page's buttons and boxes do when the user works them.
#include "wizard/form1.h"

#include "app/settings_store.h"

#include <QLineEdit>

namespace wizard {

void Form1::PushButton1_Click() {}

void Form1::PushButton3_Click() {}

void Form1::PushButton4_Click() {}

void Form1::PushButton5_Click() {}

// Both boxes are mirrored into the settings on every change, so nothing needs saving at exit.
void Form1::Text1_Change() {
    app::SettingsStore::save(app::kDatabaseKey, Text1->text().toStdString());
}

void Form1::Text2_Change() {
    app::SettingsStore::save(app::kPasswordKey, Text2->text().toStdString());
}

void Form1::Text1_GotFocus() {}

void Form1::Text2_GotFocus() {}

} // namespace wizard
