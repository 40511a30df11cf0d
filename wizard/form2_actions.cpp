// What the table page's buttons do.
#include "wizard/form2.h"

namespace wizard {

void Form2::PushButton2_Click() {}

void Form2::PushButton3_Click() {}

} // namespace wizard
