#pragma once
// One run of rowsifter-cli once its command line has been read: the Access copy when asked for, the checks
// of the names given, then the dry run or the engine's run.
#include "cli/options.h"

namespace cli {

// The exit status: kExitOk when the output table was written completely (or the dry run or the copy
// finished), kExitFailed otherwise; what happened is printed on the way.
int run(const Options& options);

} // namespace cli
