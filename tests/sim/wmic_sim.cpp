// Stands in for Windows' wmic: prints what sim-wmic.txt in the working folder scripts, by
// default the answer to "wmic bios get smbiosbiosversion".
#include "tool_tables.h"

int main(int argc, char** argv) { return simulateTool(wmicTable(), argc, argv); }
