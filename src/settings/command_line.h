#pragma once

// Turns the arguments (element 0, the program path, is skipped) into run settings. Every
// argument must be one of the single-word options, compared after lower-casing; anything
// else raises "1014h" at once. A repeated setting raises "1005h". After a successful parse
// the set options are echoed on the verbose channel.
void parseCommandLine(int argc, char** argv);
