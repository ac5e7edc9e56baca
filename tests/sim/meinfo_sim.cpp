// Stands in for Intel's MEInfoWin64.exe: prints what sim-meinfo.txt in the working folder
// scripts, by default a verbose report.
#include "tool_tables.h"

int main(int argc, char** argv) { return simulateTool(meInfoTable(), argc, argv); }
