#pragma once
// Test helpers for the windows: private settings, a recorded program end, a program folder of one's own.
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace app::testing {

// Points the settings store at a fresh temporary folder for the object's lifetime.
class IsolatedSettings {
public:
    IsolatedSettings();
    ~IsolatedSettings();
    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;
    std::string folder() const;

private:
    QTemporaryDir m_dir;
};

// Records endProgram calls instead of ending the test program.
class RecordedEnd {
public:
    RecordedEnd();
    ~RecordedEnd();
    RecordedEnd(const RecordedEnd&) = delete;
    RecordedEnd& operator=(const RecordedEnd&) = delete;
    std::vector<int> statuses;
};

// A temporary program folder (for the pointer file and the skin) for the object's lifetime.
class ProgramFolder {
public:
    ProgramFolder();
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;
    std::string path() const;
    // Writes `content` to a file below the folder (creating folders on the way); returns its path.
    std::string write(const std::string& relative, const std::string& content) const;

private:
    QTemporaryDir m_dir;
};

} // namespace app::testing
