#include "app/page_window.h"

#include "app/appearance.h"
#include "app/layouts.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

namespace app {

PageWindow::PageWindow(int clientWidthTwips, int clientHeightTwips, bool boldFont)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setFixedSize(twipsToPixels(clientWidthTwips), twipsToPixels(clientHeightTwips));
    setFont(windowFont(boldFont));
    setAutoFillBackground(true);
    setColour(this, QPalette::Window, colourFromValue(kDesignWhite));
}

void PageWindow::finishLayout() {
    for (QWidget* w : findChildren<QWidget*>())
        w->setAttribute(Qt::WA_NoMousePropagation);
}

void PageWindow::showEvent(QShowEvent* event) {
    if (!m_centred) {
        m_centred = true;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}

void PageWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Form_Unload();
}

void PageWindow::setDefaultButton(QPushButton* button) {
    if (m_defaultButton)
        m_defaultButton->setDefault(false);
    m_defaultButton = button;
    if (button)
        button->setDefault(true);
}

// Text boxes, lists and grids pass Enter on, and so do the buttons that are not the default: Qt's default
// button only works in dialogs, and the pages are plain windows.
void PageWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                       (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter) {
        QPushButton* target = qobject_cast<QPushButton*>(focusWidget());
        if (!target)
            target = m_defaultButton;
        if (target && target->isVisible() && target->isEnabled()) {
            target->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

} // namespace app
