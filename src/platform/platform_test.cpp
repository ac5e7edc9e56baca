// The real platform layer against the real operating system.
#include "platform/platform.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file << bytes;
}

class PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = fs::current_path();
    folder = fs::temp_directory_path() /
             ("mefw-platform-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
  }
  void TearDown() override {
    fs::current_path(previous);
    // A program whose signature was checked stays open, and so undeletable, until the end.
    std::error_code ignored;
    if (!HasFailure()) fs::remove_all(folder, ignored);
  }

  static std::string emitter() {
    const char* emitter = std::getenv("MEFW_EMIT_BYTES");
    EXPECT_NE(emitter, nullptr) << "MEFW_EMIT_BYTES must name the emit_bytes program";
    return emitter ? emitter : "";
  }

  // Every chunk the pipe gives.
  static std::vector<std::string> readAll(platform::CommandPipe& pipe) {
    std::vector<std::string> chunks;
    std::string chunk;
    while (pipe.readChunk(chunk)) {
      chunks.push_back(chunk);
    }
    return chunks;
  }

  // The chunks of a real command that prints `bytes`.
  std::vector<std::string> chunksOf(const std::string& bytes,
                                    platform::TimeLimit timeLimit = platform::noTimeLimit) {
    writeBytes("output.bin", bytes);
    platform::CommandPipe pipe("\"" + emitter() + "\" --file output.bin", timeLimit);
    EXPECT_TRUE(pipe.isOpen());
    std::vector<std::string> chunks = readAll(pipe);
    EXPECT_FALSE(pipe.timedOut());
    return chunks;
  }

  // emit_bytes copied into the working folder as "emit", so that a command line can name it
  // the same way for both interpreters (the POSIX build turns .\ into ./).
  //
  // The copy is started once before the test uses it. Under wine, the interpreter once failed
  // to start a copy written a moment before ("Can't recognize") and started it a moment
  // later, which failed a test of the pipe for a reason outside the pipe. Each failed try is
  // said, so that it shows in the log if it comes back.
  static std::string localEmitter() {
    fs::path program = emitter();
    fs::copy_file(program, fs::path("emit" + program.extension().string()));
    for (int attempt = 1; attempt <= 3; ++attempt) {
      platform::CommandPipe probe(".\\emit ready");
      if (readAll(probe) == std::vector<std::string>{"ready"}) return ".\\emit";
      std::fprintf(stderr, "note: the fresh copy of the emitter did not start (try %d)\n", attempt);
    }
    ADD_FAILURE() << "the copy of the emitter never started";
    return ".\\emit";
  }

  fs::path folder;
  fs::path previous;
};

TEST_F(PlatformTest, PipeChunksEndAfterLineFeedsAndKeepCarriageReturns) {
  EXPECT_EQ(chunksOf("ab\r\ncd"), (std::vector<std::string>{"ab\r\n", "cd"}));
  EXPECT_EQ(chunksOf(""), std::vector<std::string>{});
}

TEST_F(PlatformTest, PipeChunksHoldAtMost127Characters) {
  std::vector<std::string> chunks = chunksOf(std::string(300, 'x') + "\n");
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0], std::string(127, 'x'));
  EXPECT_EQ(chunks[1], std::string(127, 'x'));
  EXPECT_EQ(chunks[2], std::string(46, 'x') + "\n");
}

TEST_F(PlatformTest, PipeChunkEndsAtNulByte) {
  EXPECT_EQ(chunksOf(std::string("ab\0cd\nef", 8)), (std::vector<std::string>{"ab", "ef"}));
}

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_F(PlatformTest, CommandWithinItsTimeLimitGivesAllItsOutput) {
  EXPECT_EQ(chunksOf("ab\r\ncd", std::chrono::seconds(60)),
            (std::vector<std::string>{"ab\r\n", "cd"}));
  std::string emit = localEmitter();
  platform::CommandPipe pipe(emit + " first --sleep 300 && " + emit + " second",
                             std::chrono::seconds(60));
  EXPECT_EQ(readAll(pipe), (std::vector<std::string>{"firstsecond"}));
  EXPECT_FALSE(pipe.timedOut());
}

// The interpreter starts a child that hangs while holding the pipe: only ending the whole
// group ends the output, and the command after it never runs.
TEST_F(PlatformTest, CommandPastItsTimeLimitIsEndedWithEverythingItStarted) {
  std::string emit = localEmitter();
  Clock::time_point start = Clock::now();
  {
    platform::CommandPipe pipe(
        emit + " early --sleep 1500 --touch survived --sleep 60000 && " + emit + " late",
        std::chrono::milliseconds(700));
    ASSERT_TRUE(pipe.isOpen());
    EXPECT_EQ(readAll(pipe), std::vector<std::string>{"early"});
    EXPECT_TRUE(pipe.timedOut());
    EXPECT_GE(secondsSince(start), 0.6);
  }
  EXPECT_LT(secondsSince(start), 20.0);
  // Had the hanging child been left behind, it would have woken up by now.
  platform::pauseMilliseconds(
      static_cast<unsigned>(std::max(0.0, 2.5 - secondsSince(start)) * 1000));
  EXPECT_FALSE(fs::exists("survived"));
}

TEST_F(PlatformTest, CommandWithoutTimeLimitIsWaitedFor) {
  std::string emit = localEmitter();
  Clock::time_point start = Clock::now();
  platform::CommandPipe pipe(emit + " before --sleep 1500 && " + emit + " after");
  EXPECT_EQ(readAll(pipe), std::vector<std::string>{"beforeafter"});
  EXPECT_FALSE(pipe.timedOut());
  EXPECT_GE(secondsSince(start), 1.4);
}

TEST_F(PlatformTest, PauseWaitsAboutAsLongAsAsked) {
  Clock::time_point start = Clock::now();
  platform::pauseMilliseconds(200);
  EXPECT_GE(secondsSince(start), 0.19);
  EXPECT_LT(secondsSince(start), 10.0);
}

// Whatever the machine holds, it comes as Windows hands it out: a header whose length fits.
TEST_F(PlatformTest, SmbiosTableComesBehindItsHeader) {
  std::optional<std::string> table = platform::readSmbiosTable();
  if (!table) return;
  ASSERT_GE(table->size(), 8u);
  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i) {
    length |= static_cast<std::uint32_t>(static_cast<unsigned char>((*table)[4 + i])) << (8 * i);
  }
  EXPECT_LE(length, table->size() - 8);
}

#ifndef _WIN32
// Development hosts rarely let a user read the firmware's table: tests hand one in.
TEST_F(PlatformTest, SmbiosFileStandsInForTheFirmwareTableOnPosix) {
  std::string bytes("\0\3\0\0\6\0\0\0\x7f\x04\0\0\0\0", 14);
  writeBytes("table.bin", bytes);
  setenv("MEFW_SMBIOS_FILE", (folder / "table.bin").c_str(), 1);
  EXPECT_EQ(platform::readSmbiosTable(), bytes);
  setenv("MEFW_SMBIOS_FILE", (folder / "missing.bin").c_str(), 1);
  EXPECT_EQ(platform::readSmbiosTable(), std::nullopt);
  unsetenv("MEFW_SMBIOS_FILE");
}
#endif

// The chunks fgets with a 128-byte buffer would give.
std::vector<std::string> fgetsChunks(const std::string& bytes) {
  std::vector<std::string> chunks;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t length = std::min<std::size_t>(127, bytes.size() - start);
    std::size_t lineFeed = bytes.find('\n', start);
    if (lineFeed != std::string::npos && lineFeed < start + length) length = lineFeed - start + 1;
    std::string chunk = bytes.substr(start, length);
    chunks.push_back(chunk.substr(0, chunk.find('\0')));
    start += length;
  }
  return chunks;
}

TEST_F(PlatformTest, PipeChunksFollowTheSameRuleAcrossLargeOutput) {
  std::string bytes;
  for (int line = 0; bytes.size() < 300000; ++line) {
    bytes += std::string(line % 311, static_cast<char>('a' + line % 26));
    bytes += line % 7 == 0 ? std::string("\0x", 2) : "";
    bytes += line % 3 == 0 ? "\r" : "\r\n";
  }
  EXPECT_EQ(chunksOf(bytes), fgetsChunks(bytes));
  EXPECT_EQ(chunksOf(bytes, std::chrono::seconds(60)), fgetsChunks(bytes));
}

TEST_F(PlatformTest, MissingCommandStillGivesAnOpenPipeWithoutOutput) {
  platform::CommandPipe pipe("no-such-program-anywhere-1234");
  EXPECT_TRUE(pipe.isOpen());
  std::string chunk;
  std::string all;
  while (pipe.readChunk(chunk)) {
    all += chunk;
  }
  EXPECT_EQ(all.find("no-such-program"), std::string::npos) << all;
  // The interpreter's own status says so (127 from the shell, 9009 from cmd.exe), with a time
  // limit or without one; a program that ran says nothing of the kind.
  EXPECT_TRUE(pipe.commandNotFound());
  platform::CommandPipe limited("no-such-program-anywhere-1234", std::chrono::seconds(60));
  EXPECT_EQ(readAll(limited), std::vector<std::string>{});
  EXPECT_TRUE(limited.commandNotFound());
  platform::CommandPipe found("\"" + emitter() + "\" hello", std::chrono::seconds(60));
  EXPECT_EQ(readAll(found), std::vector<std::string>{"hello"});
  EXPECT_FALSE(found.commandNotFound());
}

TEST_F(PlatformTest, TextModeWritesCarriageReturnLineFeed) {
  {
    platform::OutputFile file("text.txt", platform::FileMode::text, platform::WriteMethod::inPlace);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(file.write("a\nb\r\n"));
    EXPECT_TRUE(file.commit());
  }
  EXPECT_EQ(readBytes("text.txt"), "a\r\nb\r\r\n");
  {
    platform::OutputFile file("raw.bin", platform::FileMode::raw, platform::WriteMethod::inPlace);
    EXPECT_TRUE(file.write(std::string("a\nb\0", 4)));
    EXPECT_TRUE(file.commit());
  }
  EXPECT_EQ(readBytes("raw.bin"), std::string("a\nb\0", 4));
}

TEST_F(PlatformTest, TextModeReadsLinesWithoutTheirEnds) {
  writeBytes("in.txt", "x\r\ny\rz\n\nlast");
  platform::InputFile file("in.txt", platform::FileMode::text);
  ASSERT_TRUE(file.isOpen());
  std::vector<std::string> lines;
  std::string line;
  while (file.readLine(line)) {
    lines.push_back(line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"x", "y\rz", "", "last"}));

  writeBytes("empty.txt", "");
  platform::InputFile empty("empty.txt", platform::FileMode::text);
  EXPECT_TRUE(empty.isOpen());
  EXPECT_FALSE(empty.readLine(line));
}

TEST_F(PlatformTest, BackslashPathsReachTheirFiles) {
  fs::create_directories("sub");
  writeBytes("sub/file.txt", "hello\n");
  platform::InputFile file("sub\\file.txt", platform::FileMode::text);
  ASSERT_TRUE(file.isOpen());
  std::string line;
  EXPECT_TRUE(file.readLine(line));
  EXPECT_EQ(line, "hello");
}

TEST_F(PlatformTest, FoldersAndMissingFilesDoNotOpen) {
  fs::create_directories("folder.txt");
  EXPECT_FALSE(platform::InputFile("folder.txt", platform::FileMode::raw).isOpen());
  EXPECT_FALSE(platform::InputFile("missing.txt", platform::FileMode::raw).isOpen());
  EXPECT_FALSE(
      platform::OutputFile("folder.txt", platform::FileMode::raw, platform::WriteMethod::inPlace)
          .isOpen());
  EXPECT_FALSE(platform::OutputFile("no-folder/x.txt", platform::FileMode::raw,
                                    platform::WriteMethod::replace)
                   .isOpen());
}

TEST_F(PlatformTest, FolderListingsNamePlainFilesOnly) {
  fs::create_directories("ME_Flash/Local-Win");
  writeBytes("ME_Flash/11.8.55.3510.bin", "image");
  writeBytes("ME_Flash/notes.txt", "");
  std::optional<std::vector<std::string>> names = platform::filesInFolder("ME_Flash\\");
  ASSERT_TRUE(names.has_value());
  std::sort(names->begin(), names->end());
  EXPECT_EQ(*names, (std::vector<std::string>{"11.8.55.3510.bin", "notes.txt"}));
  EXPECT_EQ(platform::filesInFolder("ME_Flash\\Local-Win"), std::vector<std::string>{});
  EXPECT_FALSE(platform::filesInFolder("missing").has_value());
}

TEST_F(PlatformTest, ChangingTheWorkingFolder) {
  fs::create_directories("kit/box");
  writeBytes("kit/box/input.txt", "x");
  EXPECT_FALSE(platform::changeWorkingFolder("no-such-folder"));
  ASSERT_TRUE(platform::changeWorkingFolder("kit\\box"));
  EXPECT_TRUE(platform::InputFile("input.txt", platform::FileMode::raw).isOpen());
}

TEST_F(PlatformTest, ReplaceChangesTheFileOnlyOnCommit) {
  writeBytes("stamp.sys", "old");
  {
    platform::OutputFile file("stamp.sys", platform::FileMode::raw, platform::WriteMethod::replace);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(file.write("half"));
    // Abandoned without commit: the old file stays.
  }
  EXPECT_EQ(readBytes("stamp.sys"), "old");
  {
    platform::OutputFile file("stamp.sys", platform::FileMode::raw, platform::WriteMethod::replace);
    EXPECT_TRUE(file.write("new"));
    EXPECT_TRUE(file.commit());
  }
  EXPECT_EQ(readBytes("stamp.sys"), "new");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(".")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"stamp.sys"});
}

// Two installers may write the same record at once: neither may write into the other's file.
TEST_F(PlatformTest, TwoReplacesOfOneFileOpenTogetherWriteFilesOfTheirOwn) {
  platform::OutputFile first("last-run.json", platform::FileMode::raw,
                             platform::WriteMethod::replaceUnsynced);
  platform::OutputFile second("last-run.json", platform::FileMode::raw,
                              platform::WriteMethod::replace);
  ASSERT_TRUE(first.isOpen() && second.isOpen());
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(".")) {
    names.push_back(entry.path().filename().string());
  }
  ASSERT_EQ(names.size(), 2u);
  EXPECT_NE(names[0], names[1]);
  for (const std::string& name : names) {
    EXPECT_EQ(name.substr(0, 18), "last-run.json.tmp-") << name;
    EXPECT_EQ(name.size(), 18u + 16u) << name;
  }
  EXPECT_TRUE(first.write("first") && second.write("second"));
  EXPECT_TRUE(first.commit());
  EXPECT_TRUE(second.commit());
  EXPECT_EQ(readBytes("last-run.json"), "second");
}

TEST_F(PlatformTest, NonZeroExitCodesNeverBecomeSuccess) {
  for (int code : {0, 1, 100, 1014, 4000, 4001, 256, 512, 2147483647}) {
    int status = platform::processExitStatus(code);
    EXPECT_EQ(status == 0, code == 0) << code;
  }
}

TEST_F(PlatformTest, UnsyncedReplaceAlsoChangesTheFileOnlyOnCommit) {
  writeBytes("last-run.json", "old");
  {
    platform::OutputFile file("last-run.json", platform::FileMode::raw,
                              platform::WriteMethod::replaceUnsynced);
    EXPECT_TRUE(file.write("half"));
    EXPECT_EQ(readBytes("last-run.json"), "old");
    EXPECT_TRUE(file.commit());
  }
  EXPECT_EQ(readBytes("last-run.json"), "half");
  EXPECT_FALSE(fs::exists("last-run.json.tmp"));
}

TEST_F(PlatformTest, OwnFoldersAreMadeAndTheirFactsRead) {
  platform::FolderFacts made = platform::openOwnFolder("state");
  EXPECT_TRUE(fs::is_directory("state"));
  EXPECT_TRUE(made.exists && made.isFolder && !made.isLink);
  EXPECT_EQ(platform::openOwnFolder("state").owner, platform::Account::runningAccount);
  writeBytes("file", "x");
  platform::FolderFacts file = platform::openOwnFolder("file");
  EXPECT_TRUE(file.exists);
  EXPECT_FALSE(file.isFolder);
  EXPECT_FALSE(platform::folderFacts("missing").exists);
}

TEST_F(PlatformTest, AFileCopiedIntoTheStageIsTheFileAsItWas) {
  writeBytes("tool.exe", "MZ and the rest");
  platform::FileCopy copy = platform::copyFileNoLinks("tool.exe", "copy.exe", 100);
  EXPECT_EQ(copy.outcome, platform::CopyOutcome::copied);
  EXPECT_EQ(copy.size, 15u);
  EXPECT_EQ(copy.firstBytes, "MZ");
  EXPECT_EQ(readBytes("copy.exe"), "MZ and the rest");
  // A copy is made, never written over, and nothing past the limit is copied.
  EXPECT_EQ(platform::copyFileNoLinks("tool.exe", "copy.exe", 100).outcome,
            platform::CopyOutcome::failed);
  platform::FileCopy large = platform::copyFileNoLinks("tool.exe", "large.exe", 14);
  EXPECT_EQ(large.outcome, platform::CopyOutcome::tooLarge);
  EXPECT_EQ(large.size, 15u);
  EXPECT_FALSE(fs::exists("large.exe"));
  platform::FileCopy missing = platform::copyFileNoLinks("missing.exe", "m.exe", 100);
  EXPECT_EQ(missing.outcome, platform::CopyOutcome::failed);
  EXPECT_FALSE(missing.problem.empty());
}

TEST_F(PlatformTest, APartOfAFile) {
  writeBytes("log", "0123456789");
  std::optional<platform::FilePart> part = platform::readFilePart("log", 6, 4);
  ASSERT_TRUE(part);
  EXPECT_EQ(part->bytes, "6789");
  EXPECT_EQ(part->size, 10u);
  EXPECT_EQ(platform::readFilePart("log", 2, 3)->bytes, "234");
  EXPECT_EQ(platform::readFilePart("log", 0, 100)->bytes, "0123456789");
  EXPECT_EQ(platform::readFilePart("log", 12, 4)->bytes, "");
  EXPECT_FALSE(platform::readFilePart("missing", 0, 4));
}

// Records collected from machines are read block by block, and only when they are files.
TEST_F(PlatformTest, ARegularFileIsReadInBlocksAndNothingElseOpens) {
  writeBytes("record.json", std::string(10000, 'r'));
  fs::create_directories("folder.json");
  {
    platform::RegularFile file("record.json");
    ASSERT_EQ(file.opening(), platform::FileOpening::opened);
    EXPECT_EQ(file.size(), 10000u);
    std::string whole;
    std::string block;
    while (file.read(block, 4096)) {
      EXPECT_LE(block.size(), 4096u);
      whole += block;
    }
    EXPECT_EQ(whole, std::string(10000, 'r'));
  }
  EXPECT_EQ(platform::RegularFile("folder.json").opening(), platform::FileOpening::notRegular);
  EXPECT_EQ(platform::RegularFile("missing.json").opening(), platform::FileOpening::missing);
  std::string block = "left";
  EXPECT_FALSE(platform::RegularFile("folder.json").read(block, 10));
  EXPECT_EQ(block, "");
}

TEST_F(PlatformTest, AFolderListsEachNameWithItsKind) {
  fs::create_directories("records/pc-1");
  writeBytes("records/last-run.json", "{}");
  std::optional<std::vector<platform::FolderEntry>> entries = platform::folderEntries("records");
  ASSERT_TRUE(entries);
  std::vector<std::string> seen;
  for (const platform::FolderEntry& entry : *entries) {
    seen.push_back(entry.name + (entry.kind == platform::EntryKind::file     ? " file"
                                 : entry.kind == platform::EntryKind::folder ? " folder"
                                                                             : " other"));
  }
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<std::string>{"last-run.json file", "pc-1 folder"}));
  EXPECT_FALSE(platform::folderEntries("missing"));
}

TEST_F(PlatformTest, TheComputerHasAName) { EXPECT_NE(platform::computerName(), ""); }

#ifndef _WIN32
// A pipe would make an opening for reading wait for a writer, and a link may point anywhere.
TEST_F(PlatformTest, PipesAndLinksAreNeverOpenedAsRegularFiles) {
  ASSERT_EQ(mkfifo("result.json", 0600), 0);
  writeBytes("target.json", "{}");
  fs::create_symlink("target.json", "link.json");
  EXPECT_EQ(platform::RegularFile("result.json").opening(), platform::FileOpening::notRegular);
  EXPECT_EQ(platform::RegularFile("link.json").opening(), platform::FileOpening::notRegular);
  std::vector<std::string> others;
  std::vector<platform::FolderEntry> entries = platform::folderEntries(".").value();
  for (const platform::FolderEntry& entry : entries) {
    if (entry.kind == platform::EntryKind::other) others.push_back(entry.name);
  }
  std::sort(others.begin(), others.end());
  EXPECT_EQ(others, (std::vector<std::string>{"link.json", "result.json"}));
}

TEST_F(PlatformTest, LinksAndRightsOfOthersAreSeen) {
  fs::create_directories("target");
  fs::create_directory_symlink("target", "link");
  EXPECT_TRUE(platform::openOwnFolder("link").isLink);
  fs::create_directories("open");
  fs::permissions("open", fs::perms::group_write, fs::perm_options::add);
  std::vector<platform::FolderGrant> grants = platform::openOwnFolder("open").grants;
  ASSERT_EQ(grants.size(), 1u);
  EXPECT_EQ(grants[0].trustee, platform::Account::other);
  EXPECT_NE(grants[0].rights & platform::addEntries, 0u);
  fs::permissions("open", fs::perms::group_write, fs::perm_options::remove);
  EXPECT_TRUE(platform::openOwnFolder("open").grants.empty());
  setenv("MEFW_STATE_DIR", "link", 1);
  EXPECT_EQ(platform::stateFolderPlace().folder, "link");
  unsetenv("MEFW_STATE_DIR");
}

TEST_F(PlatformTest, LinksAreNeverCopiedNorWrittenThrough) {
  writeBytes("secret", "secret");
  fs::create_symlink("secret", "tool.exe");
  EXPECT_EQ(platform::copyFileNoLinks("tool.exe", "copy.exe", 100).outcome,
            platform::CopyOutcome::link);
  EXPECT_FALSE(fs::exists("copy.exe"));
  // A log planted as a link, or as a second name of another file, is not opened.
  fs::create_symlink("secret", "runLog.log");
  fs::create_hard_link("secret", "installerError.log");
  for (const char* log : {"runLog.log", "installerError.log"}) {
    platform::OutputFile file(log, platform::FileMode::text, platform::WriteMethod::inPlace);
    EXPECT_FALSE(file.isOpen()) << log;
  }
  EXPECT_EQ(readBytes("secret"), "secret");
}

TEST_F(PlatformTest, AStageIsNewAndPrivateAndItsRemovalFollowsNoLink) {
  fs::create_directories("tmp");
  fs::permissions("tmp", fs::perms::owner_all, fs::perm_options::replace);
  setenv("TMPDIR", (folder / "tmp").c_str(), 1);
  platform::StageFolder first = platform::makeStageFolder();
  platform::StageFolder second = platform::makeStageFolder();
  ASSERT_NE(first.path, "") << first.problem;
  EXPECT_NE(first.path, second.path);
  EXPECT_EQ(fs::path(first.path).parent_path(), folder / "tmp");
  EXPECT_EQ(fs::status(first.path).permissions(), fs::perms::owner_all);
  std::vector<std::string> left = platform::leftStageFolders();
  std::sort(left.begin(), left.end());
  std::vector<std::string> made = {first.path, second.path};
  std::sort(made.begin(), made.end());
  EXPECT_EQ(left, made);
  // A look-alike with other rights is none of ours.
  fs::permissions(second.path, fs::perms::group_read, fs::perm_options::add);
  EXPECT_EQ(platform::leftStageFolders(), std::vector<std::string>{first.path});
  fs::create_directories("elsewhere");
  writeBytes("elsewhere/keep.txt", "keep");
  ASSERT_TRUE(platform::makeStageSubfolder(first.path + "/ME_Flash"));
  writeBytes(first.path + "/ME_Flash/tool.exe", "tool");
  fs::create_directory_symlink(folder / "elsewhere", first.path + "/ME_Flash/link");
  EXPECT_TRUE(platform::removeFolderTree(first.path));
  EXPECT_FALSE(fs::exists(first.path));
  EXPECT_EQ(readBytes("elsewhere/keep.txt"), "keep");
  // A temporary folder that others may write, and that is not sticky, is passed over.
  fs::permissions("tmp", fs::perms::group_write, fs::perm_options::add);
  platform::StageFolder shared = platform::makeStageFolder();
  unsetenv("TMPDIR");
  EXPECT_EQ(fs::path(shared.path).parent_path(), "/tmp");
  fs::remove_all(shared.path);
}

TEST_F(PlatformTest, PruningNeverFollowsALink) {
  fs::create_directories("elsewhere");
  writeBytes("elsewhere/keep.txt", "keep");
  fs::create_directories("runs/old/inner");
  writeBytes("runs/old/result.json", "{}");
  fs::create_directory_symlink("../../elsewhere", "runs/old/link");
  fs::create_directory_symlink("../elsewhere", "runs/planted");
  std::vector<std::string> folders = *platform::foldersInFolder("runs");
  EXPECT_EQ(folders, std::vector<std::string>{"old"});
  // The folder inside stays, so the run folder does too; the link is gone, its target is not.
  EXPECT_FALSE(platform::removeOwnFolder("runs/old"));
  EXPECT_FALSE(fs::exists("runs/old/result.json"));
  EXPECT_FALSE(fs::is_symlink("runs/old/link"));
  EXPECT_EQ(readBytes("elsewhere/keep.txt"), "keep");
  fs::remove("runs/old/inner");
  EXPECT_TRUE(platform::removeOwnFolder("runs/old"));
  EXPECT_FALSE(fs::exists("runs/old"));
}
#endif

#ifdef _WIN32
constexpr bool windows = true;
#else
constexpr bool windows = false;
#endif

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(PlatformTest, WindowsOwnProgramsComeFromTheSystemFolder) {
  std::optional<std::string> wmic = platform::systemProgram(platform::SystemProgram::wmic);
  std::optional<std::string> timeout = platform::systemProgram(platform::SystemProgram::timeout);
  std::optional<std::string> shutdown = platform::systemProgram(platform::SystemProgram::shutdown);
  ASSERT_TRUE(wmic && timeout && shutdown);
  if (!windows) {
    EXPECT_EQ(*wmic, "wmic");
    EXPECT_EQ(*timeout, "Timeout");
    return;
  }
  // The test prefix holds a wmic in the system folder's wbem folder.
  std::string folder = timeout->substr(0, timeout->size() - std::string("\\timeout.exe").size());
  EXPECT_TRUE(endsWith(*timeout, "\\timeout.exe")) << *timeout;
  EXPECT_EQ(*shutdown, folder + "\\shutdown.exe");
  EXPECT_EQ(*wmic, folder + "\\wbem\\WMIC.exe");
  EXPECT_EQ(folder.find(':'), 1u) << folder;
}

TEST_F(PlatformTest, TheMachineStartedInThePast) {
  auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::optional<std::time_t> booted = platform::bootTime();
  ASSERT_TRUE(booted);
  EXPECT_LE(*booted, now);
  EXPECT_GT(*booted, now - 10 * 365 * 86400);
}

#ifndef _WIN32
// Tests give the POSIX build a start of their choosing; the Windows build never reads it.
TEST_F(PlatformTest, BootTimeVariableStandsInForTheStartOnPosix) {
  setenv("MEFW_BOOT_TIME", "2026-12-08T23:10:00Z", 1);
  EXPECT_EQ(platform::bootTime(), std::optional<std::time_t>(1796771400));
  setenv("MEFW_BOOT_TIME", "2026-12-08 23:10:00", 1);
  EXPECT_EQ(platform::bootTime(), std::nullopt);
  unsetenv("MEFW_BOOT_TIME");
}
#endif

TEST_F(PlatformTest, CommandsAreToldNotToSearchTheWorkingFolder) {
  if (!windows) GTEST_SKIP() << "a Windows search rule";
  platform::CommandPipe pipe("set NoDefaultCurrentDirectoryInExePath");
  std::string output;
  for (const std::string& chunk : readAll(pipe)) {
    output += chunk;
  }
  EXPECT_NE(output.find("NoDefaultCurrentDirectoryInExePath=1"), std::string::npos) << output;
}

TEST_F(PlatformTest, ACheckedProgramCannotBeChangedButStillRuns) {
  std::string program = localEmitter();
  std::string file = windows ? "emit.exe" : "emit";
  platform::Signature signature = platform::checkProgramSignature(file);
  if (!windows) {
    EXPECT_EQ(signature.state, platform::SignatureState::notSupported);
    return;
  }
  EXPECT_EQ(signature.state, platform::SignatureState::none);
  EXPECT_FALSE(std::ofstream(file, std::ios::binary | std::ios::app).is_open());
  std::error_code error;
  EXPECT_FALSE(fs::remove(file, error));
  EXPECT_FALSE(fs::exists("moved.exe"));
  fs::rename(file, "moved.exe", error);
  EXPECT_TRUE(error);
  writeBytes("output.bin", "ran\n");
  platform::CommandPipe pipe(program + " --file output.bin");
  EXPECT_EQ(readAll(pipe), std::vector<std::string>{"ran\n"});
  EXPECT_EQ(platform::checkProgramSignature("missing.exe").detail, "0x80070002");
}

}  // namespace
