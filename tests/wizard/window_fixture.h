#pragma once
// A clean stage for tests of the windows: the recording desktop, private settings, an empty program
// folder and user data folder, a recorded program end, and no page loaded before or after the test.
#include "app/testing/fake_desktop.h"
#include "app/testing/test_support.h"
#include "db/connection.h"
#include "wizard/forms.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>

namespace app_test {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        wizard::unloadAll();
        db::forceProviderFailureForTesting(false);
    }
    void TearDown() override {
        wizard::unloadAll();
        db::forceProviderFailureForTesting(false);
    }

    app::testing::FakeDesktop desktop;
    app::testing::IsolatedSettings settings;
    app::testing::ProgramFolder folder;
    app::testing::IsolatedUserData userData;
    app::testing::RecordedEnd ended;
};

// A page's control by its designed name; a missing one fails the test (and gives nullptr).
template <class T = QWidget> T* control(const QWidget& page, const char* name) {
    T* found = page.findChild<T*>(QString::fromUtf8(name));
    if (!found)
        ADD_FAILURE() << page.objectName().toStdString() << " has no control " << name;
    return found;
}

// A mouse move with no button held, as the platform sends it over `target`.
inline void moveOver(QWidget* target) {
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

} // namespace app_test
