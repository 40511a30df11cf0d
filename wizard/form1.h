#pragma once
// Database page: the database file and its password, the sample database, help, and "Next >".
#include "app/page_window.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace wizard {

class Form1 : public app::PageWindow {
    Q_OBJECT
public:
    Form1();

    void Form_Load();
    void Form_Unload() override;

    // Buttons, change and focus rules (form1_actions.cpp).
    void PushButton1_Click(); // "Load Sample/Example Database"
    void PushButton3_Click(); // "Next >"; start-up performs it too
    void PushButton4_Click(); // "Help"
    void PushButton5_Click(); // "..." browse
    void Text1_Change();
    void Text2_Change();
    void Text1_GotFocus();
    void Text2_GotFocus();

    QPushButton* PushButton4;
    QGroupBox* Frame1;
    QLabel* Label5;
    QLineEdit* Text1; // database path
    QPushButton* PushButton5;
    QLabel* lblPassword;
    QLineEdit* Text2; // password, shown as "*"
    QPushButton* PushButton1;
    QPushButton* PushButton3;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace wizard
