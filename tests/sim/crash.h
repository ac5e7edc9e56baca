#pragma once

// Ends the process at once the way a crashing tool does: no exit handlers, no further output,
// an abnormal status, and on Windows no error dialog that would wait for a click.
[[noreturn]] void crashNow();
