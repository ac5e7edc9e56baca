#include "app/entry.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::prepareProcess();
  return platform::processExitStatus(runInstaller(argc, argv));
}
