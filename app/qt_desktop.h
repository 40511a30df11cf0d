#pragma once
// The desktop seam on Qt: message boxes, the file-open dialog, the default browser, a time-seeded draw.
#include "app/desktop.h"

#include <QStringList>

namespace app {

class QtDesktop : public Desktop {
public:
    Answer messageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) override;
    std::string openFileDialog(const FileDialogRequest& request) override;
    void openUrl(const std::string& url) override;
    double randomFraction() override;
};

// "Desc|pattern|Desc|pattern|" as Qt name filters "Desc (pattern)", in the same order. Several patterns
// of one entry (separated by ';') become blank-separated; an entry without a pattern is dropped.
QStringList qtNameFilters(const std::string& filter);

// Message texts use CR LF and lone CR line breaks; Qt lays out lines at LF only.
QString displayText(const std::string& text);

} // namespace app
