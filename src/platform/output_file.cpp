#include "platform/output_file.h"

namespace platform {

FILE* openTemporarySibling(const std::string& path, FileMode mode, std::string& writtenPath) {
  for (int attempt = 0; attempt < temporaryNameTries; ++attempt) {
    writtenPath = path + temporaryMark + randomHexDigits();
    if (FILE* stream = createNewFile(writtenPath, mode)) return stream;
  }
  return nullptr;
}

OutputFile::~OutputFile() {
  if (state->stream != nullptr) std::fclose(state->stream);
  // Only a sibling this file made is removed: a name that was taken is someone else's.
  if (!state->committed && state->method != WriteMethod::inPlace && state->stream != nullptr) {
    std::remove(state->writtenPath.c_str());
  }
}

bool OutputFile::isOpen() const { return state->stream != nullptr; }

bool OutputFile::commit() {
  if (state->stream == nullptr) return false;
  bool synced = state->method == WriteMethod::replace;
  bool ok = !state->failed && std::fflush(state->stream) == 0 && !std::ferror(state->stream);
  // The stamp must survive the reboot that follows an update, so it reaches the disk first.
  if (ok && synced) ok = syncToDisk(state->stream);
  ok = std::fclose(state->stream) == 0 && ok;
  state->stream = nullptr;
  if (state->method == WriteMethod::inPlace) {
    state->committed = ok;
    return ok;
  }
  if (!ok || !moveOver(state->writtenPath, state->path, synced)) {
    std::remove(state->writtenPath.c_str());
    return false;
  }
  state->committed = true;
  removeStaleTemporaries(state->path);
  // A move is not on the disk with the file's bytes: until it is, a power loss may bring back
  // the old file.
  return !synced || syncMove(state->path, synced);
}

}  // namespace platform
