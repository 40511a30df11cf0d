#pragma once
// The program folder's files on Linux. A build folder holds them beside the executable; an installed copy
// keeps them in a data folder (share/rowsifter) that nobody but the administrator may write, so the
// sample a user works on is a copy of their own.
#include <string>

namespace app {

// Where an installed copy keeps the program folder's files (whether or not it exists).
std::string installedAssetFolder();

// A file of the program folder (`relative`, e.g. "HAND-M.CUR"): beside the executable when it is there,
// else in the installed asset folder when it is there, else the path beside the executable.
std::string programFile(const std::string& relative);

// The user's own data folder (~/.local/share/Rowsifter), made on demand by whoever writes there.
std::string userDataFolder();

// The skin: beside the executable, else the user's own in their data folder, else the installed one.
std::string skinFile();

// The sample database to work on. The shipped one when it lies beside the executable in a folder the user
// may write; otherwise the user's copy in their data folder, made from the shipped one the first time and
// used as it is from then on. Without a shipped sample, the path beside the executable.
// Throws std::runtime_error when the user's copy cannot be made.
std::string sampleDatabase();

} // namespace app
