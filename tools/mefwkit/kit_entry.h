#pragma once

// The kit tool's whole run: arguments, the Kitbox folder, check or plan, output. Returns the
// exit status; never lets an exception escape.
int runKitTool(int argc, char** argv);
