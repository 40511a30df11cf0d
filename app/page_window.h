#pragma once
// What the four wizard pages share as windows: a fixed client size given in twips, a single fixed border
// with a minimise but no maximise button, centred on the screen when first shown, white at design time,
// and closing it runs the page's unload routine.
#include <QPointer>
#include <QWidget>

class QPushButton;

namespace app {

class PageWindow : public QWidget {
    Q_OBJECT
public:
    PageWindow(int clientWidthTwips, int clientHeightTwips, bool boldFont);

    // Unload routine: runs when the window is closed.
    virtual void Form_Unload() = 0;

    // The button Enter presses (drawn as the page's default), as in a dialog: a push button that has the
    // focus takes Enter itself, and a default button that is disabled or hidden leaves Enter unused.
    void setDefaultButton(QPushButton* button);

protected:
    // Call once every control exists: mouse moves stay with the control they happen over, so a label
    // or a button does not pass them on to its frame's pointer rule.
    void finishLayout();

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_centred = false;
    QPointer<QPushButton> m_defaultButton;
};

} // namespace app
