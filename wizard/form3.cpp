#include "wizard/form3.h"

#include "app/desktop_reporter.h"
#include "app/layouts.h"
#include "app/pointer.h"
#include "app/program.h"
#include "core/program.h"
#include "core/trap.h"
#include "wizard/messages.h"
#include "wizard/page_look.h"

#include <QEvent>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

namespace wizard {

Form3::Form3() : app::PageWindow(5880, 5430, true) {
    setObjectName(QStringLiteral("Form3"));
    PushButton4 = app::makePushButton(this, "PushButton4", QStringLiteral("Help"), {120, 120, 5640, 405});
    Frame2 = app::makeFrame(this, "Frame2", QStringLiteral("Preview"), {120, 600, 5640, 1815});
    DataGrid1 = app::makeDataGrid(Frame2, "DataGrid1", {240, 300, 5160, 1365});
    Frame1 = app::makeFrame(this, "Frame1", QStringLiteral("Which field(s) contain duplicate information?"),
                            {120, 2520, 5640, 2295});
    List1 = app::makeListBox(Frame1, "List1", {240, 300, 2295, 1860});
    PushButton5 = app::makePushButton(Frame1, "PushButton5", QStringLiteral(">"), {2610, 300, 420, 405});
    PushButton6 = app::makePushButton(Frame1, "PushButton6", QStringLiteral(">>"), {2610, 780, 420, 405});
    PushButton7 = app::makePushButton(Frame1, "PushButton7", QStringLiteral("<"), {2610, 1260, 420, 405});
    PushButton8 = app::makePushButton(Frame1, "PushButton8", QStringLiteral("<<"), {2610, 1740, 420, 405});
    List2 = app::makeListBox(Frame1, "List2", {3120, 300, 2295, 1860});
    PushButton2 = app::makePushButton(this, "PushButton2", QStringLiteral("< Back"), {120, 4920, 2760, 405});
    PushButton3 = app::makePushButton(this, "PushButton3", QStringLiteral("Next >"), {3000, 4920, 2760, 405});

    setDefaultButton(PushButton3);
    app::describe(PushButton5, text::kChooseField);
    app::describe(PushButton6, text::kChooseAllFields);
    app::describe(PushButton7, text::kUnchooseField);
    app::describe(PushButton8, text::kUnchooseAllFields);
    List1->setAccessibleName(QString::fromUtf8(text::kAvailableFields));
    List2->setAccessibleName(QString::fromUtf8(text::kChosenFields));

    app::setTabOrder({PushButton2, PushButton3, PushButton4, Frame1, Frame2, DataGrid1, List2, List1, PushButton5,
                      PushButton6, PushButton7, PushButton8});
    PushButton2->setFocus();

    for (QPushButton* b : {PushButton2, PushButton3, PushButton4, PushButton5, PushButton6, PushButton7, PushButton8})
        app::addHandRule(b);
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(Frame1), static_cast<QWidget*>(Frame2),
                       static_cast<QWidget*>(List1), static_cast<QWidget*>(List2), static_cast<QWidget*>(DataGrid1)})
        app::addDefaultRule(w);
    finishLayout();

    connect(PushButton2, &QPushButton::clicked, this, &Form3::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form3::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form3::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form3::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form3::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form3::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form3::PushButton8_Click);
    // A double-click anywhere in a list counts, also on its empty part.
    List1->viewport()->installEventFilter(this);
    List2->viewport()->installEventFilter(this);
}

bool Form3::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        const bool handled = app::PageWindow::eventFilter(watched, event);
        if (watched == List1->viewport())
            List1_DblClick();
        else if (watched == List2->viewport())
            List2_DblClick();
        return handled;
    }
    return app::PageWindow::eventFilter(watched, event);
}

void Form3::Form_Load() {
    core::Trap trap{core::location("Form3.Form_Load"), app::reporter()};
    loadPageLook(*this, trap);
}

void Form3::Form_Unload() {
    app::endProgram(0);
}

} // namespace wizard
