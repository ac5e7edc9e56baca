#pragma once

// A scenario scripts what a simulated tool prints. Each tool reads its own scenario file from
// the working folder: sim-wmic.txt, sim-fwupdlcl.txt or sim-meinfo.txt. Without one it prints
// its realistic default output.
//
// The file is read line by line; a line may end in CR LF. Empty lines, and lines whose first
// non-blank character is '#', are skipped. Every other line is a key, then, after one blank,
// its argument: the rest of the line, blanks at either end included.
//
// Sections
//   [NAME]                  The lines after it, up to the next section, count only in a run
//                           whose first argument is NAME: for FwUpdLcl64 [-fwver] and [-f].
//                           Lines before the first section count in every run.
//
// Settings (a later line wins)
//   KEY TEXT                A value used by the tool's realistic output, such as
//                           "bios N01 Ver. 1.05.2" or "fwver 11.8.50.3399". Each tool knows its
//                           own keys; any other key is a mistake. TEXT may hold escapes; an
//                           empty TEXT (the key alone) is allowed.
//   pace MS                 Wait MS milliseconds after each line printed by "count" (default 0),
//                           so that progress moves visibly in a demo.
//
// Steps (run in file order; a run without steps runs "behaviour default")
//   behaviour NAME          Print one of the tool's named outputs, as if its steps stood here.
//   out TEXT                Print TEXT.
//   repeat TIMES TEXT       Print TEXT TIMES times.
//   count FIRST LAST TEXT   Print TEXT once for each number from FIRST to LAST (either way
//                           round), flushing each one; in TEXT {n} is the number, {n3} the
//                           number right-aligned in three characters and {spin} one of the
//                           characters | / - \ that turns as the number changes.
//   file PATH               Print the bytes of that file (relative to the working folder).
//   sleep MS                Wait MS milliseconds.
//   await PATH              Wait until the file PATH (relative to the working folder) exists,
//                           at most a minute, so that a test can hold the tool at this point
//                           for as long as it needs and then let it go on.
//   touch PATH              Create the file PATH (relative to the working folder), so that a
//                           test can see how far the tool came. It holds "output intact" when
//                           every write so far reached the reader, else "output lost".
//   leave MS                Start a process that holds the tool's standard output open for MS
//                           milliseconds and outlives the tool, as a helper a tool leaves
//                           running would.
//   exit STATUS             End now with that exit status. Without it the tool ends with 0.
//   kill                    End now as a crash does: nothing more is printed and the status is
//                           abnormal (SIGKILL on POSIX, 0xC0000005 on Windows, no dialog).
//
// TEXT: the escapes \r \n \t \\ \0 \xHH stand for their bytes, and {KEY} for the value of a
// known key ({bios}, {fwver}, ...); braces around anything else stay as they are. A brace that
// must be printed before a known key's name is written \x7b. Output is written as binary and
// flushed after every step, so a reader sees each part when it is printed.
//
// A mistake (unknown key, bad number, unknown behaviour, unreadable file) is found before
// anything is printed: the tool writes it to standard error and exits with status 99.
#include <map>
#include <string>
#include <vector>

enum class StepKind { behaviour, out, repeat, count, file, sleep, await, touch, leave, exit, kill };

struct Step {
  StepKind kind = StepKind::out;
  std::string text;     // text to print (escapes and placeholders kept), name or path
  long long first = 0;  // repeat: times; count: first number; sleep: ms; exit: status
  long long last = 0;   // count: last number
  int line = 0;         // where it was written, for messages about it
};

struct ValueSetting {
  std::string key;
  std::string text;  // escapes already decoded
  int line = 0;
};

struct Scenario {
  std::vector<ValueSetting> values;
  std::vector<Step> steps;
  long long paceMs = 0;
};

using Values = std::map<std::string, std::string>;

// Status a tool exits with after a mistake in its scenario.
constexpr int scenarioMistakeStatus = 99;

// Throws std::runtime_error "line N: what" about a mistake written on line N.
[[noreturn]] void failAtLine(int line, const std::string& what);

// Parses scenario text, keeping the lines that count in a run whose first argument is `run`.
// Throws std::runtime_error "line N: what is wrong" on a malformed line.
Scenario parseScenario(const std::string& text, const std::string& run);
