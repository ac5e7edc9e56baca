// mefwkit: the Kitbox checker and planner for kit authors and fleet admins.
#include "mefwkit/kit_entry.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::prepareProcess();
  return platform::processExitStatus(runKitTool(argc, argv));
}
