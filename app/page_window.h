#pragma once
// What the four wizard pages share as windows: a fixed client size given in twips, a single fixed border
// with a minimise but no maximise button, centred on the screen when first shown, white at design time,
// and closing it runs the page's unload routine.
#include <QWidget>

namespace app {

class PageWindow : public QWidget {
    Q_OBJECT
public:
    PageWindow(int clientWidthTwips, int clientHeightTwips, bool boldFont);

    // Unload routine: runs when the window is closed.
    virtual void Form_Unload() = 0;

protected:
    // Call once every control exists: mouse moves stay with the control they happen over, so a label
    // or a button does not pass them on to its frame's pointer rule.
    void finishLayout();

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_centred = false;
};

} // namespace app
