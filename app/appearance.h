#pragma once
// The pages' common look: design-time white, the run-time recolouring to the system face colour, the
// optional skin of the database page, the program icon and the hand pointer image.
#include <QColor>
#include <QCursor>
#include <QIcon>
#include <QPalette>
#include <cstdint>
#include <string>

class QWidget;

namespace app {

// Colour values as the pages were designed with them: 0x00BBGGRR, or with the top bit set a system
// colour by the index in the low byte.
inline constexpr std::uint32_t kDesignWhite = 0x00FFFFFF;
inline constexpr std::uint32_t kButtonFace = 0x8000000F;
inline constexpr std::uint32_t kButtonTextColour = 0x80000012;
inline constexpr std::uint32_t kWindowBackground = 0x80000005;
inline constexpr std::uint32_t kWindowText = 0x80000008;

QColor colourFromValue(std::uint32_t value);
void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour);

// Frames, labels, check boxes and option buttons take a background colour; other controls keep theirs.
bool takesBackgroundColour(const QWidget* control);

// The window and its frames and labels take the system face colour.
void ApplyFormColours(QWidget& window);

// When the skin file exists (skinFile(): "x/o.cjs" of the program folder or of the user's data folder):
// recolours the database page like ApplyFormColours, then reads the file as a style sheet for that page.
// Throws, naming the file, when it exists but cannot be read; the recolouring stays. Without the file
// nothing changes.
void ApplySkin(QWidget& databasePage);
std::string skinPath();

// The program's icon in its four sizes (32, 48, 128, 256 pixels).
QIcon mainIcon();

// "HAND-M.CUR" of the program folder (programFile()), and that file read as a pointer image with the hotspot it names.
// Throws, naming the file, when it is not a readable cursor image.
std::string handCursorPath();
QCursor loadPointerImage(const std::string& path);

} // namespace app
