#pragma once
// Counting what a run would do, without changing anything: the file is opened read-only, no work table is
// made, and a file the user cannot write can be counted too.
#include "dedupe/engine_inputs.h"
#include <string>
#include <vector>

namespace dedupe {

struct DryRunResult {
    long long rowsRead = 0;
    long long rowsRemoved = 0;  // rows that repeat an earlier row's key
    long long groups = 0;       // groups of two or more rows that agree on the key
    long long largestGroup = 0; // rows of the largest of them; 0 when none
    // With a table of groups asked for: the five largest groups, largest first, each as its surviving
    // row's chosen values (as stored, joined by ", ") and its size.
    struct Group {
        std::string values;
        long long rows = 0;
    };
    std::vector<Group> largest;
    long long rowsWritten() const { return rowsRead - rowsRemoved; }
};

// Reads the chosen fields of every row once and counts the repeated keys, under the same key rules as a
// run. Which row of a group a run keeps does not change the counts. Throws db::Error.
DryRunResult countRepeats(const EngineInputs& inputs);

} // namespace dedupe
