#pragma once
// A window's pointer style, which applies over the whole window with its controls: 0 default (each
// control's usual pointer), 11 busy (hourglass), 99 custom (the window's own image, else the default).
// The hover rules switch between the hand and the default, but never while the window is busy.
#include "core/program.h"
#include <QCursor>

class QWidget;

namespace app {

using core::PointerBusy;
using core::PointerCustom;
using core::PointerDefault;

void setPointer(QWidget* window, int style);
int pointerStyle(const QWidget* window);

void setCustomPointerImage(QWidget* window, const QCursor& image);
bool hasCustomPointerImage(const QWidget* window);

// Mouse-move rules. Hand: a push button sets style 99 unless the window is busy. Default: the window
// background, frames, text boxes, list boxes and grids set style 0 unless busy. A control with neither
// rule leaves the style as it is.
void addHandRule(QWidget* control);
void addDefaultRule(QWidget* control);

// The pointer a control actually shows (for tests and checks): its own or the nearest inherited one.
Qt::CursorShape shownPointerShape(const QWidget* control);

} // namespace app
