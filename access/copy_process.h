#pragma once
// The program's side of a copy: the Access file is read and the copy written by a helper program of our
// own (rowsifter-access-copy), started afresh for each copy and held to the limits of CopyLimits.
#include "access/sqlite_copy.h"
#include <string>

namespace accessdb {

// The helper program: beside the running program, else where an installed copy keeps it. Throws db::Error
// when there is none.
std::string copyHelperPath();

// Runs the helper on `accessPath`, which writes the copy into `partialPath` (an empty file the caller made
// and removes unless the copy is complete), and passes its progress on. Throws db::Error: the helper's own
// refusal as it gave it, or, when the helper hung, grew beyond its memory, crashed or ended without a word,
// a message that names the Access file and says that it is damaged.
CopyResult runCopyProcess(const std::string& accessPath, const std::string& partialPath, const std::string& password,
                          const CopyProgressCallback& progress, const CopyOptions& options);

} // namespace accessdb
