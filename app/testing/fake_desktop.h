#pragma once
// A desktop for tests: records every message box, file dialog, web address and random draw, and answers
// from queues. Constructing one installs it as the program's desktop; destroying it restores the real one.
#include "app/desktop.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace app::testing {

struct MessageBoxCall {
    std::string text;
    std::string title;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
};

// One error report, read back from the text of an "Application Error" box.
struct ReportCall {
    std::string description;
    std::string location;
    int statement = 0;
    std::string text; // the whole message
};

class FakeDesktop : public Desktop {
public:
    FakeDesktop();
    ~FakeDesktop() override;
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    Answer messageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) override;
    std::string openFileDialog(const FileDialogRequest& request) override;
    void openUrl(const std::string& url) override;
    double randomFraction() override;

    // Answers, used front first. Empty queues answer OK / No / Cancel, a cancelled dialog, and 0.5 (no promotion).
    std::deque<Answer> answers;
    std::deque<std::string> chosenFiles;
    std::deque<double> fractions;
    // Called while a message box is "open" (after it is recorded), e.g. to look at the windows meanwhile.
    std::function<void(const MessageBoxCall&)> whileBoxOpen;

    std::vector<MessageBoxCall> boxes;
    std::vector<FileDialogRequest> dialogs;
    std::vector<std::string> urls;
    int draws = 0;

    // The error reports among the boxes, in order.
    std::vector<ReportCall> reports() const;
    // The boxes that are not error reports.
    std::vector<MessageBoxCall> messages() const;
};

// Splits an error report's text into description, location and statement; false when it is not one.
bool parseReport(const std::string& text, ReportCall& out);

} // namespace app::testing
