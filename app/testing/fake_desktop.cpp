#include "app/testing/fake_desktop.h"

#include "core/error_report.h"

namespace app::testing {

FakeDesktop::FakeDesktop() {
    setDesktop(this);
}
FakeDesktop::~FakeDesktop() {
    setDesktop(nullptr);
}

Answer FakeDesktop::messageBox(const std::string& text, const std::string& title, Buttons buttons, Icon icon) {
    boxes.push_back({text, title, buttons, icon});
    if (whileBoxOpen)
        whileBoxOpen(boxes.back());
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    if (buttons == Buttons::YesNoCancel)
        return Answer::Cancel;
    return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
}

std::string FakeDesktop::openFileDialog(const FileDialogRequest& request) {
    dialogs.push_back(request);
    if (chosenFiles.empty())
        return {};
    std::string chosen = chosenFiles.front();
    chosenFiles.pop_front();
    return chosen;
}

void FakeDesktop::openUrl(const std::string& url) {
    urls.push_back(url);
}

double FakeDesktop::randomFraction() {
    ++draws;
    if (fractions.empty())
        return 0.5;
    const double f = fractions.front();
    fractions.pop_front();
    return f;
}

bool parseReport(const std::string& text, ReportCall& out) {
    const std::string tail = "\r\rPlease email screenshot of this message to ";
    const auto tailAt = text.rfind(tail);
    if (tailAt == std::string::npos)
        return false;
    const auto lineAt = text.rfind("at line ", tailAt);
    const auto breakAt = lineAt == std::string::npos ? std::string::npos : text.rfind("\r\n", lineAt);
    if (breakAt == std::string::npos)
        return false;
    const std::string number = text.substr(lineAt + 8, tailAt - lineAt - 8);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out.description = text.substr(0, breakAt);
    out.location = text.substr(breakAt + 2, lineAt - breakAt - 2);
    out.statement = std::stoi(number);
    out.text = text;
    return true;
}

std::vector<ReportCall> FakeDesktop::reports() const {
    std::vector<ReportCall> found;
    for (const MessageBoxCall& box : boxes) {
        ReportCall r;
        if (box.title == core::kErrorReportTitle && parseReport(box.text, r))
            found.push_back(r);
    }
    return found;
}

std::vector<MessageBoxCall> FakeDesktop::messages() const {
    std::vector<MessageBoxCall> found;
    for (const MessageBoxCall& box : boxes)
        if (box.title != core::kErrorReportTitle)
            found.push_back(box);
    return found;
}

} // namespace app::testing
