#pragma once
// The program's own name, location texts of its trapped procedures, and the window pointer styles: the
// pieces of the shell that the engine and the command line use too.
#include <string>
#include <string_view>

namespace core {

inline constexpr const char* kProductName = "Rowsifter";

// Window pointer styles: each control's own pointer, the hourglass, the window's own image (the hand).
enum PointerStyle : int { PointerDefault = 0, PointerBusy = 11, PointerCustom = 99 };

// The location text an error report names for a trapped procedure: "in Quarnelby2021/08/31.Form2.Form_Load "
// for the procedure "Form2.Form_Load".
std::string location(std::string_view procedure);

} // namespace core
