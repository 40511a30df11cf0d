#pragma once
// Output page: the new table's name, "Start Creating", its progress and the resulting table.
#include "app/page_window.h"

class QGroupBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace wizard {

class Form4 : public app::PageWindow {
    Q_OBJECT
public:
    Form4();

    void Form_Load();
    void Form_Unload() override;

    // Buttons (form4_actions.cpp).
    void PushButton1_Click(); // "Help"
    void PushButton2_Click(); // "< Back"
    void PushButton4_Click(); // "Start Creating"

    QPushButton* PushButton1;
    QGroupBox* Frame2;
    QLineEdit* Text1; // name of the new table
    QPushButton* PushButton2;
    QPushButton* PushButton4;
    QProgressBar* ProgressBar1;
    QTableView* DataGrid1; // the new table
};

} // namespace wizard
