#pragma once
// Per-user settings, always under the root "Brevanton" and the application "Rowsifter". Values are kept
// exactly as given. Every save is synced to disk at once and the file and its folder are kept readable by
// their owner only, because the file holds the database password in plain text.
#include <string>

namespace app {

inline constexpr const char* kSettingsRoot = "Brevanton";
inline constexpr const char* kSettingsApplication = "Rowsifter";
inline constexpr const char* kDatabaseKey = "Database";
inline constexpr const char* kPasswordKey = "Password";

class SettingsStore {
public:
    // The stored value, or `fallback` when the key does not exist.
    static std::string read(const std::string& key, const std::string& fallback = {});
    // Creates or replaces the key, then writes the file. False when the file could not be written.
    static bool save(const std::string& key, const std::string& value);
    // Where the values live (for messages and tests).
    static std::string filePath();
};

} // namespace app
