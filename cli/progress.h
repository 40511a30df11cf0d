#pragma once
// What the engine shows while it runs, on a terminal: a progress bar (a line per tenth of the rows when
// standard error is no terminal), its messages and its error reports on standard error.
#include "dedupe/engine.h"
#include <memory>
#include <string>
#include <vector>

namespace cli {

// The host of a run writing `output`; `tables` are the database's listed tables, their names compared
// `exactly` (a server's) or without regard to ASCII case (a file's). Quiet: no progress; json: the messages
// and reports go into the JSON object instead.
std::unique_ptr<dedupe::EngineHost> makeTerminalHost(std::string output, std::vector<std::string> tables, bool exactly,
                                                     bool quiet, bool json);

} // namespace cli
