#include "wizard/form2.h"

#include "app/desktop_reporter.h"
#include "app/layouts.h"
#include "app/pointer.h"
#include "app/program.h"
#include "core/program.h"
#include "core/trap.h"
#include "wizard/messages.h"
#include "wizard/page_look.h"

#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>

namespace wizard {

Form2::Form2() : app::PageWindow(5880, 2385, true) {
    setObjectName(QStringLiteral("Form2"));
    Frame1 =
        app::makeFrame(this, "Frame1", QStringLiteral("Which table do you want to search for duplicate field values?"),
                       {120, 120, 5640, 2175});
    List1 = app::makeListBox(Frame1, "List1", {240, 300, 5160, 1185});
    PushButton2 = app::makePushButton(Frame1, "PushButton2", QStringLiteral("< Back"), {240, 1600, 2535, 405});
    PushButton3 = app::makePushButton(Frame1, "PushButton3", QStringLiteral("Next >"), {2880, 1600, 2535, 405});

    setDefaultButton(PushButton3);
    List1->setAccessibleName(QString::fromUtf8(text::kTables));

    app::setTabOrder({Frame1, List1, PushButton2, PushButton3});
    List1->setFocus();

    for (QPushButton* b : {PushButton2, PushButton3})
        app::addHandRule(b);
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(Frame1), static_cast<QWidget*>(List1)})
        app::addDefaultRule(w);
    finishLayout();

    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form2::PushButton3_Click);
}

void Form2::Form_Load() {
    core::Trap trap{core::location("Form2.Form_Load"), app::reporter()};
    loadPageLook(*this, trap);
    trap.run(112, [&] { setEnabled(true); });
    trap.run(114, [&] { app::setPointer(this, core::PointerDefault); });
}

void Form2::Form_Unload() {
    app::endProgram(0);
}

} // namespace wizard
