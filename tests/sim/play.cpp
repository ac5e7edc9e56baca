#include "play.h"

#include <chrono>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "crash.h"
#include "render_text.h"

namespace {

void print(const std::string& bytes, std::FILE* out) {
  std::fwrite(bytes.data(), 1, bytes.size(), out);
}

void waitMs(long long ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void printRepeated(const Step& step, const Values& values, std::FILE* out) {
  std::string bytes = renderText(step.text, values);
  for (long long i = 0; i < step.first; ++i) {
    print(bytes, out);
  }
}

// Each line is flushed on its own: progress redraws must reach the reader one by one, as the
// real tool's do, not in one burst at the end.
void printCount(const Step& step, const Values& values, long long paceMs, std::FILE* out) {
  long long direction = step.last >= step.first ? 1 : -1;
  for (long long number = step.first;; number += direction) {
    print(renderText(step.text, countValues(values, number)), out);
    std::fflush(out);
    waitMs(paceMs);
    if (number == step.last) break;
  }
}

// Streamed in blocks: the file may be tens of megabytes.
void printFile(const Step& step, std::FILE* out) {
  std::ifstream file(step.text, std::ios::binary);
  if (!file) failAtLine(step.line, "cannot read \"" + step.text + "\"");
  std::string block(1 << 16, '\0');
  while (file.read(&block[0], static_cast<std::streamsize>(block.size())) || file.gcount() > 0) {
    std::fwrite(block.data(), 1, static_cast<std::size_t>(file.gcount()), out);
  }
}

// Polled rather than watched: the tool must stay a plain program on both systems.
void awaitFile(const std::string& path) {
  for (int waited = 0; waited < 60000 && !std::ifstream(path); waited += 20) {
    waitMs(20);
  }
}

// The file says whether everything printed so far reached the reader: a tool whose output
// pipe was closed under it loses its later writes (or, on POSIX, dies of SIGPIPE first).
void touchFile(const Step& step, std::FILE* out) {
  std::fflush(out);
  std::ofstream file(step.text, std::ios::binary);
  if (!file) failAtLine(step.line, "cannot create \"" + step.text + "\"");
  file << (std::ferror(out) ? "output lost\n" : "output intact\n");
}

std::optional<int> playStep(const Step& step, const Values& values, long long paceMs,
                            std::FILE* out) {
  switch (step.kind) {
    case StepKind::out:
      print(renderText(step.text, values), out);
      break;
    case StepKind::repeat:
      printRepeated(step, values, out);
      break;
    case StepKind::count:
      printCount(step, values, paceMs, out);
      break;
    case StepKind::file:
      printFile(step, out);
      break;
    case StepKind::sleep:
      waitMs(step.first);
      break;
    case StepKind::await:
      awaitFile(step.text);
      break;
    case StepKind::touch:
      touchFile(step, out);
      break;
    case StepKind::leave:
      std::fflush(out);
      leaveRunning(step.first);
      break;
    case StepKind::exit:
      return static_cast<int>(step.first);
    case StepKind::kill:
      std::fflush(out);
      crashNow();
    case StepKind::behaviour:
      throw std::logic_error("behaviour \"" + step.text + "\" was not expanded");
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> playSteps(const std::vector<Step>& steps, const Values& values, long long paceMs,
                             std::FILE* out) {
  for (const Step& step : steps) {
    std::optional<int> status = playStep(step, values, paceMs, out);
    std::fflush(out);
    if (status) return status;
  }
  return std::nullopt;
}
