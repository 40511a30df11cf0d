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

// Points the user's data folder (XDG_DATA_HOME) at a fresh temporary folder for the object's lifetime.
class IsolatedUserData {
public:
    IsolatedUserData();
    ~IsolatedUserData();
    IsolatedUserData(const IsolatedUserData&) = delete;
    IsolatedUserData& operator=(const IsolatedUserData&) = delete;
    std::string folder() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_saved;
    bool m_wasSet;
};

// A temporary program folder (for the pointer file and the skin) for the object's lifetime.
class ProgramFolder {
public:
    ProgramFolder();
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;
    std::string path() const;
    // Makes the executable's folder the subfolder `relative` (e.g. "usr/bin"), as an installed copy has it.
    void runFrom(const std::string& relative) const;
    // Writes `content` to a file below the folder (creating folders on the way); returns its path.
    std::string write(const std::string& relative, const std::string& content) const;

private:
    QTemporaryDir m_dir;
};

} // namespace app::testing
