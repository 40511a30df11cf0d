#pragma once
// Counting what a run would do, without changing anything: the file is opened read-only, no work table is
// made, and a file the user cannot write can be counted too.
#include "dedupe/engine_inputs.h"

namespace dedupe {

struct DryRunResult {
    long long rowsRead = 0;
    long long rowsRemoved = 0; // rows that repeat an earlier row's key
    long long rowsWritten() const { return rowsRead - rowsRemoved; }
};

// Reads the chosen fields of every row once and counts the repeated keys, under the same key rules as a
// run. Which row of a group a run keeps does not change the counts. Throws db::Error.
DryRunResult countRepeats(const EngineInputs& inputs);

} // namespace dedupe
