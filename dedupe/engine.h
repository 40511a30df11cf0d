#pragma once
// The duplicate-removal engine: writes a copy of the chosen table without later repetitions of the chosen
// fields' values, entirely through statements on one connection.
#include "dedupe/engine_host.h"
#include <string>
#include <string_view>

namespace dedupe {

// Runs one job: scratch copy, identifier column, one keyed scan deleting repeated keys, make-table copy
// under the output name, scratch table dropped, result handed to the host, "Done.". Failed statements
// are reported through the host's reporter and the run goes on with the next one.
//
// Refused (nothing changed, `started` false) while another run is in progress, and when the output name
// would destroy the chosen table or collide with the scratch table; the reason goes to the host's
// messageBox unless another run is in progress.
RunResult CreateTableWithoutDuplicates(const EngineInputs& inputs, EngineHost& host);

// Why a run with these inputs and this output name would be refused before it starts (names that would
// destroy the chosen table, collide with a work table or land in the program's own namespace, an empty
// output name); empty when none.
std::string refusalFor(const EngineInputs& inputs, const std::string& output);

// Whether two table names name the same table, compared as the database compares them: ASCII letters
// without regard to case.
bool sameTableName(std::string_view a, std::string_view b);

// True while a run is in progress (it yields to the event loop, so buttons could fire meanwhile).
bool isRunning();

} // namespace dedupe
