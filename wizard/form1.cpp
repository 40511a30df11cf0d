#include "wizard/form1.h"

#include "app/appearance.h"
#include "app/desktop.h"
#include "app/desktop_reporter.h"
#include "app/layouts.h"
#include "app/pointer.h"
#include "app/program.h"
#include "app/provider_check.h"
#include "app/settings_store.h"
#include "core/program.h"
#include "core/trap.h"
#include "db/backend.h"
#include "wizard/messages.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace wizard {

Form1::Form1() : app::PageWindow(8040, 2580, false) {
    setObjectName(QStringLiteral("Form1"));
    PushButton4 = app::makePushButton(this, "PushButton4", QStringLiteral("Help"), {120, 120, 7800, 405});
    Frame1 = app::makeFrame(this, "Frame1", QStringLiteral("Access Database"), {120, 600, 7800, 1335});
    Label5 = app::makeLabel(Frame1, "Label5", QStringLiteral("MDB or ACCDB File:"), {240, 345, 1935, 255});
    Text1 = app::makeTextBox(Frame1, "Text1", {2280, 300, 4575, 345});
    PushButton5 = app::makePushButton(Frame1, "PushButton5", QStringLiteral("..."), {6960, 300, 570, 345});
    lblPassword =
        app::makeLabel(Frame1, "lblPassword", QStringLiteral("Password (if required):"), {240, 840, 1950, 225});
    Text2 = app::makeTextBox(Frame1, "Text2", {2280, 800, 5265, 345});
    app::maskWithAsterisks(Text2);
    PushButton1 = app::makePushButton(this, "PushButton1", QStringLiteral("Load Sample/Example Database"),
                                      {120, 2055, 3840, 405});
    PushButton3 = app::makePushButton(this, "PushButton3", QStringLiteral("Next >"), {4080, 2055, 3840, 405});

    setDefaultButton(PushButton3);
    app::describe(PushButton5, text::kBrowseButton);
    Label5->setBuddy(Text1); // screen readers name each box by its label
    lblPassword->setBuddy(Text2);

    app::setTabOrder({Text1, PushButton3, PushButton4, Frame1, Text2, PushButton5, Label5, lblPassword, PushButton1});
    Text1->setFocus();

    for (QPushButton* b : {PushButton1, PushButton3, PushButton4, PushButton5})
        app::addHandRule(b);
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(Frame1), static_cast<QWidget*>(Text1),
                       static_cast<QWidget*>(Text2)})
        app::addDefaultRule(w);
    finishLayout();

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    connect(Text2, &QLineEdit::textChanged, this, &Form1::Text2_Change);
    Text1->installEventFilter(this);
    Text2->installEventFilter(this);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == Text1)
            Text1_GotFocus();
        else if (watched == Text2)
            Text2_GotFocus();
    }
    return app::PageWindow::eventFilter(watched, event);
}

void Form1::Form_Load() {
    core::Trap trap{core::location("Form1.Form_Load"), app::reporter()};
    trap.run(100, [&] { app::ApplySkin(*this); });
    trap.run(104, [&] { app::runPromotion(app::desktop(), app::homePageAddress()); });
    trap.run(106, [&] { setWindowTitle(QString::fromUtf8(core::kProductName)); });
    trap.run(106, [&] { setWindowIcon(app::mainIcon()); });
    trap.run(106, [&] { app::SetApplicationTitle(); });
    if (trap.test(124, [&] { return app::FileExists(app::handCursorPath()); }))
        trap.run(126, [&] { app::setCustomPointerImage(this, app::loadPointerImage(app::handCursorPath())); });
    trap.run(128, [&] { Text1->setText(QString::fromStdString(app::SettingsStore::read(app::kDatabaseKey))); });
    trap.run(130, [&] { Text2->setText(QString::fromStdString(app::SettingsStore::read(app::kPasswordKey))); });
    if (trap.test(136, [&] { return !app::IsProviderInstalled(); })) {
        trap.run(136, [&] { app::endProgram(1); });
        return;
    }
    // A remembered server is never reached on its own: the user presses "Next >" when it suits them.
    if (trap.test(132, [&] {
            const std::string path = Text1->text().toStdString();
            return !db::isServerUri(path) && app::FileExists(path);
        }))
        trap.run(134, [&] { PushButton3_Click(); });
}

void Form1::Form_Unload() {
    app::endProgram(0);
}

} // namespace wizard
