// Holds an event under a given name, as any local user's program could, until a file exists:
// with it in the way of the installer's guard, the installer must refuse to run rather than
// run unguarded. Prints "ready" once the event exists.
//   named_event_holder NAME RELEASE_FILE
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: named_event_holder NAME RELEASE_FILE\n");
    return 2;
  }
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, argv[1]);
  if (event == nullptr) {
    std::fprintf(stderr, "named_event_holder: cannot create the event (%lu)\n", GetLastError());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  for (int waited = 0; waited < 120000 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES;
       waited += 20) {
    Sleep(20);
  }
  CloseHandle(event);
  return 0;
}
