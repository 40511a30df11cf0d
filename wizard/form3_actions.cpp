// What the field page's buttons and double-clicks do.
#include "wizard/form3.h"

namespace wizard {

void Form3::PushButton2_Click() {}

void Form3::PushButton3_Click() {}

void Form3::PushButton4_Click() {}

void Form3::PushButton5_Click() {}

void Form3::PushButton6_Click() {}

void Form3::PushButton7_Click() {}

void Form3::PushButton8_Click() {}

void Form3::List1_DblClick() {}

void Form3::List2_DblClick() {}

} // namespace wizard
