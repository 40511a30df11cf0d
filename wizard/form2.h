#pragma once
// Table page: the database's tables; "Next >" opens the chosen one for the field page.
#include "app/page_window.h"

class QGroupBox;
class QListWidget;
class QPushButton;

namespace wizard {

class Form2 : public app::PageWindow {
    Q_OBJECT
public:
    Form2();

    void Form_Load();
    void Form_Unload() override;

    // Buttons (form2_actions.cpp).
    void PushButton2_Click(); // "< Back"
    void PushButton3_Click(); // "Next >"

    QGroupBox* Frame1;
    QListWidget* List1; // table names
    QPushButton* PushButton2;
    QPushButton* PushButton3;
};

} // namespace wizard
