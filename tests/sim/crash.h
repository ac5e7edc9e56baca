#pragma once

// Ends the process at once the way a crashing tool does: no exit handlers, no further output,
// an abnormal status, and on Windows no error dialog that would wait for a click.
[[noreturn]] void crashNow();

// Starts a process that holds this one's standard output open for `ms` milliseconds and then
// ends; it outlives this process, as a helper that a tool leaves running does.
void leaveRunning(long long ms);

// In the copy leaveRunning starts on Windows: waits as asked and returns true.
bool lingerIfAsked(int argc, char** argv);
