#pragma once
// The duplicate-removal engine: writes a copy of the chosen table without later repetitions of the chosen
// fields' values, entirely through statements on one connection.
#include "dedupe/engine_host.h"

namespace dedupe {

// Runs one job: scratch copy, identifier column, one keyed scan deleting repeated keys, make-table copy
// under the output name, scratch table dropped, result handed to the host, "Done.". Failed statements
// are reported through the host's reporter and the run goes on with the next one.
//
// Refused (nothing changed, `started` false) while another run is in progress, and when the output name
// would destroy the chosen table or collide with the scratch table; the reason goes to the host's
// messageBox unless another run is in progress.
RunResult CreateTableWithoutDuplicates(const EngineInputs& inputs, EngineHost& host);

// True while a run is in progress (it yields to the event loop, so buttons could fire meanwhile).
bool isRunning();

} // namespace dedupe
