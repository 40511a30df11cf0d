#pragma once
// The first statements of the table, field and output pages' load routines, which are the same on each:
// (100) the face colour, (102) the program icon, (106) if the hand pointer file exists (108) load it as the
// window's pointer image, (110) the caption.
namespace core {
class Trap;
}
class QWidget;

namespace wizard {

void loadPageLook(QWidget& page, core::Trap& trap);

} // namespace wizard
