#include "platform/output_file.h"

namespace platform {

OutputFile::~OutputFile() {
  if (state->stream != nullptr) std::fclose(state->stream);
  if (!state->committed && state->method != WriteMethod::inPlace && state->stream != nullptr) {
    std::remove(state->writtenPath.c_str());
  }
}

bool OutputFile::isOpen() const { return state->stream != nullptr; }

bool OutputFile::commit() {
  if (state->stream == nullptr) return false;
  bool ok = !state->failed && std::fflush(state->stream) == 0 && !std::ferror(state->stream);
  // The stamp must survive the reboot that follows an update, so it reaches the disk first.
  if (ok && state->method == WriteMethod::replace) ok = syncToDisk(state->stream);
  ok = std::fclose(state->stream) == 0 && ok;
  state->stream = nullptr;
  if (state->method != WriteMethod::inPlace) {
    ok = ok && moveOver(state->writtenPath, state->path);
    if (!ok) std::remove(state->writtenPath.c_str());
  }
  state->committed = ok;
  return ok;
}

}  // namespace platform
