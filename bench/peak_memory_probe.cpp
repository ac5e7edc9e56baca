// Preloaded into a program (LD_PRELOAD) to report its peak memory: when the process ends, the
// peak resident set size (VmHWM of /proc/self/status) is appended, with the program's name,
// to the file named by MEFW_PEAK_MEMORY_FILE. The commands the program starts inherit the
// probe and report their own lines, which the reader tells apart by the name.
//
// Only the C library is used, so the probe loads into any program, a shell included.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The line of /proc/self/status that starts with `key`, without its line feed.
bool statusLine(const char* key, char* line, std::size_t size) {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) return false;
  bool found = false;
  while (!found && std::fgets(line, static_cast<int>(size), status) != nullptr) {
    found = std::strncmp(line, key, std::strlen(key)) == 0;
  }
  std::fclose(status);
  if (found) line[std::strcspn(line, "\n")] = '\0';
  return found;
}

// One write of one whole line, so that lines of processes ending together do not mix.
__attribute__((destructor)) void reportPeakMemory() {
  const char* target = std::getenv("MEFW_PEAK_MEMORY_FILE");
  char name[128];
  char peak[128];
  if (target == nullptr || !statusLine("Name:", name, sizeof name) ||
      !statusLine("VmHWM:", peak, sizeof peak)) {
    return;
  }
  char report[300];
  int length = std::snprintf(report, sizeof report, "%s\t%s\n", name, peak);
  int file = open(target, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (file < 0) return;
  if (write(file, report, static_cast<std::size_t>(length)) < 0) length = 0;
  close(file);
}

}  // namespace
