#include "app/page_window.h"

#include "app/appearance.h"
#include "app/layouts.h"

#include <QCloseEvent>
#include <QGuiApplication>
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

} // namespace app
