#include "core/program.h"

namespace core {

std::string location(std::string_view procedure) {
    std::string text = "in Quarnelby2021/08/31.";
    text += procedure;
    text += ' ';
    return text;
}

} // namespace core
