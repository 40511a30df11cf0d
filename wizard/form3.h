#pragma once
// Field page: a preview of the table and the two lists of available and chosen fields.
#include "app/page_window.h"

class QGroupBox;
class QListWidget;
class QPushButton;
class QTableView;

namespace wizard {

class Form3 : public app::PageWindow {
    Q_OBJECT
public:
    Form3();

    void Form_Load();
    void Form_Unload() override;

    // Buttons and double-clicks (form3_actions.cpp).
    void PushButton2_Click(); // "< Back"
    void PushButton3_Click(); // "Next >"
    void PushButton4_Click(); // "Help"
    void PushButton5_Click(); // ">"
    void PushButton6_Click(); // ">>"
    void PushButton7_Click(); // "<"
    void PushButton8_Click(); // "<<"
    void List1_DblClick();
    void List2_DblClick();

    QPushButton* PushButton4;
    QGroupBox* Frame2;
    QTableView* DataGrid1; // preview of the table
    QGroupBox* Frame1;
    QListWidget* List1; // fields not chosen
    QPushButton* PushButton5;
    QPushButton* PushButton6;
    QPushButton* PushButton7;
    QPushButton* PushButton8;
    QListWidget* List2; // chosen fields
    QPushButton* PushButton2;
    QPushButton* PushButton3;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace wizard
