// Shared by the unit tests, the fuzzers and the benchmarks, none of which may depend on the
// others' frameworks.
#pragma once

// Puts every process-wide value back to its state after the start-up set-up (with no console
// and no setting made), and the scripted platform back to empty.
void resetProcessState();
