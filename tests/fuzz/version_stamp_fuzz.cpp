// Version texts handed to the stamp writer. Either it refuses with a coded message and leaves
// the stamp as it was, or the stamp it writes carries exactly that version: both version
// strings, read back from the image's version resource, and the fixed file version from the
// four fields, with every block length matching its content.
#include <filesystem>
#include <stdexcept>

#include "checks/version_compare.h"
#include "fuzz_support.h"
#include "platform/platform_fake.h"
#include "process_state.h"
#include "stamp/firmware_updater.h"
#include "stamp_image_reader.h"

namespace fs = std::filesystem;

namespace {

const char* const stampFileName = "MeFwVer.sys";

std::string& scratchFolder() {
  static std::string folder;
  return folder;
}

const VersionInfoBlock& child(const VersionInfoBlock& block, const std::string& key) {
  for (const VersionInfoBlock& candidate : block.children) {
    if (candidate.key == key) return candidate;
  }
  throw std::out_of_range("no block " + key + " under " + block.key);
}

void checkLengths(const VersionInfoBlock& block) {
  fuzzCheck(block.length == block.realEnd - block.start,
            "block " + block.key + " says " + std::to_string(block.length) + " bytes, holds " +
                std::to_string(block.realEnd - block.start));
  for (const VersionInfoBlock& inner : block.children) {
    checkLengths(inner);
  }
}

void checkStampCarries(const std::string& image, const std::string& version) {
  const std::vector<ResourceLeaf> leaves = readResourceLeaves(image);
  fuzzCheck(leaves.size() == 1, "stamp has " + std::to_string(leaves.size()) + " resources");
  const VersionInfoBlock root =
      readVersionInfoBlock(image, fileOffsetOfRva(readSections(image), leaves[0].dataRva));
  fuzzCheck(leaves[0].size == root.length, "resource size differs from the version block");
  checkLengths(root);
  const VersionInfoBlock& table = child(child(root, "StringFileInfo"), "041104b0");
  for (const char* key : {"FileVersion", "ProductVersion"}) {
    const VersionInfoBlock& block = child(table, key);
    const std::string carried = utf16TextAt(image, block.valueStart);
    fuzzCheck(carried == version, std::string(key) + " reads back as " + carried);
    fuzzCheck(block.valueLength == version.size() + 1,
              std::string(key) + " value length " + std::to_string(block.valueLength));
  }
  const std::uint32_t most = readLittleEndian(image, root.valueStart + 8, 4);
  const std::uint32_t least = readLittleEndian(image, root.valueStart + 12, 4);
  const std::uint32_t expectedMost = static_cast<std::uint32_t>(versionField(version, 0)) << 16 |
                                     static_cast<std::uint32_t>(versionField(version, 1));
  const std::uint32_t expectedLeast = static_cast<std::uint32_t>(versionField(version, 2)) << 16 |
                                      static_cast<std::uint32_t>(versionField(version, 3));
  fuzzCheck(most == expectedMost && least == expectedLeast, "fixed file version differs");
}

// The writer works on a temporary sibling: none may be left behind, refused or not.
void checkOnlyTheStampIsLeft() {
  for (const fs::directory_entry& entry : fs::directory_iterator(scratchFolder())) {
    fuzzCheck(entry.path().filename() == stampFileName,
              "stray file " + entry.path().filename().string());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  scratchFolder() = enterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 256) return 0;
  resetProcessState();
  platform::fakePlatform().environment["SystemDrive"] = scratchFolder();
  const std::string version(asText(data, size));
  const std::string before = readWholeFile(stampFileName);
  const FirmwareUpdater updater(stampFileName, "update", "-allowsv", "-s");
  try {
    updater.writeVersionStamp(version);
  } catch (const std::string& message) {
    requireCodedMessage(message, {{"1018h", "1019h"}});
    fuzzCheck(readWholeFile(stampFileName) == before, "a refused version changed the stamp");
    checkOnlyTheStampIsLeft();
    return 0;
  }
  try {
    checkStampCarries(readWholeFile(stampFileName), version);
  } catch (const std::out_of_range& error) {
    fuzzFailure("stamp for " + version + " cannot be read back: " + error.what());
  }
  checkOnlyTheStampIsLeft();
  return 0;
}
