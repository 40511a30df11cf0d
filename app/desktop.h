#pragma once
// The desktop seam: every message box, file dialog, web address and random draw of the program passes
// through here, so tests can watch and answer them without windows.
#include <string>

namespace app {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Icon { None, Warning };
enum class Answer { Ok, Yes, No, Cancel };

struct FileDialogRequest {
    std::string title;
    std::string filter; // "Description|pattern|Description|pattern|"
    unsigned long flags = 0;
    std::string fileName; // initial file name
};

class Desktop {
public:
    virtual ~Desktop() = default;
    virtual Answer messageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) = 0;
    // Returns the chosen full path, or an empty text when the user cancelled.
    virtual std::string openFileDialog(const FileDialogRequest& request) = 0;
    virtual void openUrl(const std::string& url) = 0;
    // A uniform fraction in [0, 1), drawn after seeding from the time of day.
    virtual double randomFraction() = 0;
};

// The seam the program uses; the Qt implementation unless a test installed another.
Desktop& desktop();
void setDesktop(Desktop* d); // nullptr restores the default

} // namespace app
