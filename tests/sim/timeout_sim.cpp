// Stands in for Windows' timeout command under wine, which has none: it records the call and
// returns at once, as the real one does when its input is redirected.
#include "sim_calls.h"

int main(int argc, char** argv) {
  recordCall("timeout", argc, argv);
  return 0;
}
