#include "binary_stdout.h"

void makeStdoutBinary() {}
