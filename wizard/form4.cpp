#include "wizard/form4.h"

#include "app/desktop_reporter.h"
#include "app/layouts.h"
#include "app/pointer.h"
#include "app/program.h"
#include "core/program.h"
#include "core/trap.h"
#include "wizard/messages.h"
#include "wizard/page_look.h"
#include "wizard/wizard_selections.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

namespace wizard {

Form4::Form4() : app::PageWindow(5880, 4575, true) {
    setObjectName(QStringLiteral("Form4"));
    PushButton1 = app::makePushButton(this, "PushButton1", QStringLiteral("Help"), {120, 120, 5655, 405});
    Frame2 = app::makeFrame(this, "Frame2", QStringLiteral("Create New Table With Duplicate Records Removed"),
                            {120, 600, 5640, 800});
    Text1 = app::makeTextBox(Frame2, "Text1", {240, 300, 5160, 345});
    PushButton2 = app::makePushButton(this, "PushButton2", QStringLiteral("< Back"), {120, 1500, 2775, 405});
    PushButton4 = app::makePushButton(this, "PushButton4", QStringLiteral("Start Creating"), {3000, 1500, 2760, 405});
    ProgressBar1 = app::makeProgressBar(this, "ProgressBar1", {120, 1980, 5640, 375});
    DataGrid1 = app::makeDataGrid(this, "DataGrid1", {120, 2460, 5640, 2055});

    setDefaultButton(PushButton4);
    Text1->setAccessibleName(QString::fromUtf8(text::kNewTableName));

    app::setTabOrder({DataGrid1, ProgressBar1, PushButton2, PushButton4, Frame2, Text1, PushButton1});
    DataGrid1->setFocus();

    for (QPushButton* b : {PushButton1, PushButton2, PushButton4})
        app::addHandRule(b);
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(Frame2), static_cast<QWidget*>(Text1)})
        app::addDefaultRule(w);
    finishLayout();

    connect(PushButton1, &QPushButton::clicked, this, &Form4::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form4::PushButton2_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form4::PushButton4_Click);
}

void Form4::Form_Load() {
    core::Trap trap{core::location("Form4.Form_Load"), app::reporter()};
    loadPageLook(*this, trap);
    trap.run(112, [&] { Text1->setText(QString::fromStdString(selections().TableName + "2")); });
}

void Form4::Form_Unload() {
    app::endProgram(0);
}

} // namespace wizard
