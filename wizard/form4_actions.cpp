// What the output page's buttons do.
#include "wizard/form4.h"

namespace wizard {

void Form4::PushButton1_Click() {}

void Form4::PushButton2_Click() {}

void Form4::PushButton4_Click() {}

} // namespace wizard
