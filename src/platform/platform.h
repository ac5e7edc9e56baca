// Everything the installer needs from the operating system. Exactly one implementation is
// linked into each program: Windows, POSIX, or the scripted fake used by the unit tests.
// Nothing outside src/platform/ may include an operating-system header.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The console's character attribute word at start (low four bits foreground, next four
// background), or nothing when standard output is not a console whose colours can be read.
std::optional<int> consoleStartAttributes();

// Switches the colour of the text written next. Fails silently.
void setConsoleAttribute(int attribute);

// When text written to standard output reaches the console.
enum class Flush {
  // At once, so the console follows the program.
  now,
  // With the next text written with Flush::now, or before the program next waits: for a
  // command's output or its end, for input, for a command it runs or a pause. For text that
  // comes in quick succession and is soon overwritten, such as progress redraws, where a
  // flush per text would cost more than the work around it.
  beforeWaiting,
};

// Writes to standard output.
void writeOutput(std::string_view text, Flush flush = Flush::now);

// Writes to standard error, at once (for usage errors of the kit author's tool).
void writeErrorOutput(std::string_view text);

// Reads the next whitespace-delimited word from standard input. Returns false when the input
// ends or fails before a word was read.
bool readInputWord(std::string& word);

// --- Commands, their time limits, and the firmware's SMBIOS table ---

// How long a command may take at most; zero means no limit.
using TimeLimit = std::chrono::milliseconds;
constexpr TimeLimit noTimeLimit{0};

// What a command is to the installer, which decides how it is run and let go of.
enum class CommandRole {
  // A question to the machine. With a time limit it runs in a group of its own (a job object
  // on Windows, a process group on POSIX), and the whole group is ended when the limit passes
  // or once its output passes queryOutputCap: the reading then stops as if the output had
  // ended, and timedOut() says so.
  query,
  // The firmware write, which must never be cut short or run twice. It has no time limit, is
  // never ended, and its output is read to its end whatever the program does with it: the
  // destructor reads and discards what is left before it waits. Once its own process has
  // ended, what is left is read for flashLeftoverBound at most (something it started may hold
  // the output open for ever); leftBehind() then says so. It alone inherits the one-instance
  // guard claimed by claimInstallerLock, so the guard stays held while it runs, even when the
  // installer itself is ended first. Nothing that ends the installer's terminal or console
  // reaches it: POSIX starts it in a process group of its own with SIGHUP, SIGINT, SIGQUIT,
  // SIGTERM, SIGTTIN, SIGTTOU and SIGPIPE ignored; Windows with a hidden console of its own
  // in a new process group, out of the installer's job where the job allows that.
  flash,
};

// How long a flash's output is still read once the flash's own process has ended.
constexpr std::chrono::seconds flashLeftoverBound{10};

// The most output a time-limited query keeps: far beyond any real answer, and small enough
// that a command printing without end cannot take the machine's memory.
constexpr std::size_t queryOutputCap = 32 * 1024 * 1024;

// A read pipe on a command's standard output, run through the command interpreter and opened
// as binary ("rb") so that the child's bytes arrive unchanged. The destructor flushes standard
// output and lets go of the command: a flash's output is read to its end, a query's pipe is
// closed, and then the command's end is waited for (a time-limited query's for a bounded
// time only). A query without a time limit is waited for as long as it runs.
class CommandPipe {
 public:
  // A flash ignores the time limit. The command starts in `workingFolder`; empty: in the
  // program's own working folder.
  explicit CommandPipe(const std::string& commandLine, TimeLimit timeLimit = noTimeLimit,
                       CommandRole role = CommandRole::query,
                       const std::string& workingFolder = "");
  ~CommandPipe();
  CommandPipe(const CommandPipe&) = delete;
  CommandPipe& operator=(const CommandPipe&) = delete;

  // False when the pipe or the command interpreter could not be started.
  bool isOpen() const;

  // Next chunk of output: at most 127 characters, ending after the first line feed, and cut
  // at a NUL byte (chunks are handled as NUL-terminated text). False at the end of output,
  // or once the time limit has passed. Before it waits for the command, everything written
  // to standard output is flushed.
  bool readChunk(std::string& chunk);

  // True once the command was ended because its time limit passed or its output passed
  // queryOutputCap.
  bool timedOut() const;

  // True once the command was ended because its output passed queryOutputCap.
  bool outputCapped() const;

  // A flash only: reads and discards what is left of the output (to its end, or to
  // flashLeftoverBound after the flash's own process ended), then tells whether the output was
  // let go of at that bound, because something the flash started still held it open and may
  // still be running. False for a query.
  bool leftBehind();

  // Once the output has ended: true when the command interpreter could not start the command
  // at all (the POSIX shell's exit status 126 or 127, cmd.exe's 9009; its translated "not
  // recognized" text goes to standard error and is never looked at). Waits for the command's
  // end, a time-limited one's for a bounded time. A program that itself exits with one of
  // these statuses looks the same, so the answer is for the queries only: a flash is never
  // started twice.
  bool commandNotFound();

 private:
  struct State;
  std::unique_ptr<State> state;
};

// Waits, so that a command that could not be started can be tried again a moment later.
void pauseMilliseconds(unsigned milliseconds);

// The raw SMBIOS table as Windows' GetSystemFirmwareTable('RSMB') hands it out: an 8-byte
// header (calling method, major and minor version, DMI revision, table length as 32 bits),
// then the structures. Nothing when the firmware table cannot be read. The POSIX build reads
// /sys/firmware/dmi/tables/DMI and puts a header with the length in front (its version bytes
// stay zero), or, when MEFW_SMBIOS_FILE is set, that file in Windows' format, for tests.
std::optional<std::string> readSmbiosTable();

// --- end of commands ---

// Windows' own programs that the installer runs.
enum class SystemProgram { wmic, timeout, shutdown };

// How to name one of Windows' own programs on a command line. Windows: its full path in the
// system folder ("<system folder>\wbem\WMIC.exe", "<system folder>\timeout.exe",
// "<system folder>\shutdown.exe"), so that no file of that name in the working folder or on
// PATH runs in its place, with administrator rights; nothing when the program is not there
// (Windows 11 24H2 and later have no wmic) or the system folder cannot be named. POSIX: the
// name its stand-in answers to, found as before.
std::optional<std::string> systemProgram(SystemProgram program);

// What the check of a program file's embedded signature found.
enum class SignatureState {
  // A signature that matches the file; `signer` is its certificate's subject common name.
  valid,
  // No signature at all.
  none,
  // A signature that does not match the file: the file was changed after it was signed.
  altered,
  // A signature, or a file, that could not be checked; `detail` is the reason's code.
  uncheckable,
  // This build has no signatures to check (POSIX).
  notSupported,
};

struct Signature {
  SignatureState state = SignatureState::notSupported;
  std::string signer;
  std::string detail;
};

// The folder Windows' own programs start in: the system folder, so that nothing they look for
// in their working folder can be planted there. The POSIX build: "", the program's own working
// folder, where its stand-ins expect to run.
std::string systemProgramsFolder();

// Checks a program file's embedded Authenticode signature, without any dialog and without
// waiting on the network (revocation is looked up in the local cache only). On Windows the
// file stays open until the process ends (or letGoOfHeldFiles), with writing, deleting and
// renaming denied to everyone, so that the file that was checked is the file that runs.
Signature checkProgramSignature(const std::string& path);

// From just before the flash until the run's last record is written, the installer must stay
// to read the flash's output and record its outcome. POSIX: SIGHUP, SIGINT and SIGQUIT are
// ignored. Windows: Ctrl+C, Ctrl+Break and a logoff pass the installer by; when its console
// window is closed it ends at once and writes nothing more (the "flashing" record is on the
// disk, and the orphaned flash keeps the guard). Calling it again changes nothing.
void stayThroughFlash();

// Restores the handling stayThroughFlash changed; nothing when it was not changed.
void endStayThroughFlash();

// Runs a command line through the command interpreter and waits for it; the result is
// ignored by every caller. "Timeout /T n" pauses up to n seconds or until a key is pressed.
// The command starts in the system folder (the POSIX build: the program's working folder).
void runAndWait(const std::string& commandLine);

// Asks the desktop to open a document with its default handler; silent on any failure.
void openDocument(const std::string& fileName);

// The value of an environment variable, or nothing when it is not set.
std::optional<std::string> environmentVariable(const std::string& name);

// Text mode turns each line feed into carriage return + line feed on writing and drops a
// carriage return before a line feed on reading; raw mode passes bytes unchanged.
enum class FileMode { text, raw };

// How an output file reaches its name: written in place, or written to a temporary sibling
// that replaces the file only once everything was written, so a failure leaves the old file.
// The sibling's name is the file's own with ".tmp-" and 16 random hexadecimal digits after it,
// made new (never an object already there, which is neither opened nor followed; the next
// name is tried, 16 at most); it is removed on any failure, and leftovers of that pattern older
// than a minute are removed by the next successful replace of the file.
// `replace` is on the disk when commit returns, so that it also survives a power loss: the
// file is synced, moved, and then the move itself (POSIX: the folder is synced; Windows: the
// file is reopened and flushed). A move refused for a moment (Windows: a sharing, access or
// lock violation, as from a virus scanner holding the file) is tried again for up to
// replaceRetryMilliseconds. `replaceUnsynced` leaves the disk to the system, and survives a
// killed process only.
enum class WriteMethod { inPlace, replace, replaceUnsynced };

constexpr unsigned replaceRetryMilliseconds = 2000;
// The part of a replacing file's temporary sibling that follows the file's own name.
constexpr const char* temporaryMark = ".tmp-";

class InputFile {
 public:
  InputFile(const std::string& path, FileMode mode);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool isOpen() const;

  // Next line without its line feed; a last line without one still counts. False at the end
  // of the file or on a read error.
  bool readLine(std::string& line);

 private:
  struct State;
  std::unique_ptr<State> state;
};

class OutputFile {
 public:
  // Creates or truncates the file (or its temporary sibling for the replacing methods). A file
  // written in place is never written through a link: a symbolic link, a name-surrogate
  // reparse point, a file with more than one hard link, or anything but a plain file, is
  // refused and the file is not open.
  OutputFile(const std::string& path, FileMode mode, WriteMethod method);
  // An uncommitted file is abandoned: a temporary sibling is removed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool isOpen() const;

  // False once any write failed (a full disk, a broken device).
  bool write(std::string_view bytes);

  // Flushes and closes the file and, for the replacing methods, moves it over the target.
  // False when any write, the close or the move failed.
  bool commit();

 private:
  struct State;
  std::unique_ptr<State> state;
};

// What a name in a folder is, as its directory entry says, links not followed: a regular
// file, a real folder, or anything else (a link, a reparse point, a pipe, a device).
enum class EntryKind { file, folder, other };

struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::other;
};

// Every name directly in a folder but "." and "..", with its kind, in no particular order;
// nothing when the folder cannot be read.
std::optional<std::vector<FolderEntry>> folderEntries(const std::string& path);

// What opening a RegularFile found.
enum class FileOpening { opened, missing, notRegular, failed };

// A regular file opened for reading, for input that others may have put in place. Nothing else
// is ever opened: a link, a folder, a device or a pipe (whose opening would wait for a writer)
// is told from its directory entry and left alone, and the opened handle is checked once more,
// so that what is read is what was checked.
class RegularFile {
 public:
  explicit RegularFile(const std::string& path);
  ~RegularFile();
  RegularFile(const RegularFile&) = delete;
  RegularFile& operator=(const RegularFile&) = delete;

  FileOpening opening() const;

  // The file's size when it was opened.
  std::uint64_t size() const;

  // Replaces `bytes` with the next at most `limit` bytes; false at the end or on a read error.
  bool read(std::string& bytes, std::size_t limit);

 private:
  struct State;
  std::unique_ptr<State> state;
};

// The stage: private copies of what the installer runs ---------------------------------------
// The installer runs elevated, from a folder that others may write, and a name in it may be
// re-pointed at any time. So whatever it runs is copied into a folder of its own that only
// administrators can change, checked there and run from there.

// A new, empty folder for this run's copies, or why none could be made. Windows:
// <Windows folder>\Temp\mefwupdate-stage-<random>, the Windows folder from
// GetSystemWindowsDirectoryW, made in one step with full control for SYSTEM and Administrators
// only, nothing inherited. POSIX: mkdtemp (mode 0700) under $TMPDIR when that folder belongs to
// the running user (or to root, when run as root) and others cannot write it unless it is
// sticky; otherwise under /tmp. A name that already exists is never used.
struct StageFolder {
  std::string path;
  std::string problem;  // the system error when there is no path
};
StageFolder makeStageFolder();

// Makes a folder inside the stage, which it inherits its rights from; false when that fails.
bool makeStageSubfolder(const std::string& path);

// The stages that earlier runs left behind, in the place makeStageFolder uses: only folders
// with a stage's name, this account (or SYSTEM/root) as owner and a stage's rights, that are
// not links or reparse points.
std::vector<std::string> leftStageFolders();

// Removes a folder with everything in it. A link or reparse point inside is removed itself,
// never followed. False when anything is left (a file still in use, say).
bool removeFolderTree(const std::string& path);

// How copying a Kitbox file into the stage went.
enum class CopyOutcome {
  copied,
  // A symbolic link, a junction or another name-surrogate reparse point: never followed.
  // Other reparse points (cloud placeholders, deduplicated files) are read as files.
  link,
  // Larger than the limit given: nothing was copied.
  tooLarge,
  // Not a file, or the system refused; `problem` says why.
  failed,
};

struct FileCopy {
  CopyOutcome outcome = CopyOutcome::failed;
  std::uint64_t size = 0;  // of the source, when known
  std::string firstBytes;  // the copy's first two bytes, at most
  std::string problem;
};

// Copies the file `source` to `target`, a new file made for it (an existing one is a failure),
// opening the source without following a link in its last name, as a whole and at most
// `limit` bytes. The copy is then held open until letGoOfHeldFiles, with writing and deleting
// denied to everyone (Windows), so that what is checked is what runs.
FileCopy copyFileNoLinks(const std::string& source, const std::string& target, std::uint64_t limit);

// What copyFileNoLinks would find of a file, without copying it: `copied` for a plain file
// (its size and first two bytes), `link` or `failed`. For the kit authors' tool.
FileCopy inspectFileNoLinks(const std::string& source);

// Closes every file this process holds open against change: the stage's copies and the files
// whose signatures were checked (Windows), so that the stage can be removed at the end of the
// run.
void letGoOfHeldFiles();

// The error text of the last failed system call, as the system words it, on one line.
std::string lastSystemError();

// Makes the folder the working folder; false when it cannot be entered.
bool changeWorkingFolder(const std::string& path);

// The names of the plain files directly in a folder (no folders), in no particular order;
// nothing when the folder cannot be read.
std::optional<std::vector<std::string>> filesInFolder(const std::string& path);

// Process-wide set-up before anything else runs. On Windows it restricts the DLLs loaded at
// run time to the system folder, so that none planted beside the program (a download folder)
// is loaded into the elevated installer, and turns off the system's error dialogs: an
// unattended deployment must end with an exit code, never wait at a dialog. On POSIX a closed
// standard output no longer ends the process: writes to it fail silently, as on Windows.
void prepareProcess();

// The present devices of all classes and the drivers compatible with each (Windows' SetupAPI;
// the POSIX build has no devices). The destructor releases the whole device list, with every
// driver list built for its devices.
class DeviceDrivers {
 public:
  DeviceDrivers();
  ~DeviceDrivers();
  DeviceDrivers(const DeviceDrivers&) = delete;
  DeviceDrivers& operator=(const DeviceDrivers&) = delete;

  // Makes device `index` (from 0) the current one; false when there is no such device.
  bool selectDevice(unsigned index);

  // Builds the current device's list of compatible drivers; false when that fails.
  bool buildDriverList();

  // Makes compatible driver `index` (from 0) of the current device the current driver and
  // gives its description; false when there is no such driver.
  bool selectDriver(unsigned index, std::u16string& description);

  // The full path of the current driver's INF file; false when its details cannot be read.
  bool driverInfPath(std::u16string& infPath);

 private:
  struct State;
  std::unique_ptr<State> state;
};

// What is looked at before the firmware is touched -----------------------------------------

// The outcome of claiming the right to talk to the firmware.
enum class InstallerLock {
  // This process holds it until it ends, however it ends (the system releases it), and hands
  // it to the flash it starts, which holds it for as long as it runs.
  claimed,
  // Another installer, or the flash of one that was ended, holds it on this computer, in this
  // session or in any other.
  heldElsewhere,
  // Something stands in the guard's way: a file or object that another user could have put
  // there, a folder others may write, or no way to set the guard up at all.
  blocked,
};

struct InstallerLockClaim {
  InstallerLock outcome = InstallerLock::claimed;
  // The lock file's path or the guard object's name.
  std::string guard;
  // When blocked: what is wrong.
  std::string problem;
  // When claimed: something worth a verbose line (a guard in a place of development only).
  std::string note;
};

// Claims the one right per computer to run Intel's tools against the firmware. Windows: a
// named mutex in the Global\ namespace that only SYSTEM and the Administrators may open;
// POSIX: an advisory lock on mefwupdate.lock, mode 0600, in a folder no one else may write:
// /run/mefwupdate for root, $XDG_RUNTIME_DIR for anyone else (the temporary folder when that
// is unset), or the folder MEFW_LOCK_DIR names, for tests. A second claim in the same process
// gives the first one's outcome.
InstallerLockClaim claimInstallerLock();

// The battery's charge in percent (0 to 100) while the computer runs on its battery alone;
// nothing on mains power, without a battery, or when the power state cannot be read. The POSIX
// build reads /sys/class/power_supply, or the folder MEFW_POWER_SUPPLY_DIR names.
std::optional<int> batteryOnlyCharge();

// The process's working folder as the system names it, or "" when it cannot be read.
std::string workingFolder();

// The machine's state folder -----------------------------------------------------------------
// Run records are kept where a deployment tool's clean-up of the Kitbox folder cannot reach
// them. The installer runs elevated, and standard users may make folders where it keeps them,
// so each of its own folders is checked before anything is written in it: one that another
// account could have planted or redirected is left alone.

// Where the state folder lives. Windows: <ProgramData>\Norvane\mefwupdate, ProgramData as the
// shell knows it (never from the environment), Norvane being the vendor folder that other
// software may share. POSIX: /var/lib/mefwupdate, or MEFW_STATE_DIR, without a vendor folder.
struct StatePlace {
  std::string vendor;  // empty: none
  std::string folder;  // empty: unknown, and `problem` says why
  std::string problem;
};
StatePlace stateFolderPlace();

// Who an account is to the installer.
enum class Account { system, administrators, runningAccount, other, unreadable };

// The rights to a folder that let an account change what the installer keeps in it.
enum FolderRight : unsigned {
  addEntries = 1,     // make files or folders in it
  removeEntries = 2,  // delete or rename what is in it, or the folder itself
  changeRights = 4,
  takeOwnership = 8,
};

struct FolderGrant {
  Account trustee = Account::other;
  unsigned rights = 0;  // FolderRight bits
};

// What the system says of a folder, read from the folder itself, never through a link.
struct FolderFacts {
  bool exists = false;
  bool isFolder = false;
  // A symbolic link, or a reparse point that stands for another name (a junction).
  bool isLink = false;
  Account owner = Account::unreadable;
  // Who may change it, beyond its owner's own rights. POSIX: group and others' write bits.
  std::vector<FolderGrant> grants;
};

// Makes the folder when it is missing (Windows: with a protected DACL giving full control to
// SYSTEM and Administrators and read to Users; POSIX: mode 0755), opens it without following a
// link or reparse point and reads its facts from what it opened. Windows keeps the handle,
// without delete sharing, until the process ends or renameFolder lets go of it, so that the
// folder that was checked cannot be renamed or replaced before it is written in.
FolderFacts openOwnFolder(const std::string& path);

// The facts of a folder, read without following a link and without making or holding it.
FolderFacts folderFacts(const std::string& path);

// Renames a folder within its parent, first letting go of any handle openOwnFolder holds on
// it; false when that fails.
bool renameFolder(const std::string& path, const std::string& newPath);

// The names of the real folders directly in a folder (no links, no reparse points), in no
// particular order; nothing when the folder cannot be read.
std::optional<std::vector<std::string>> foldersInFolder(const std::string& path);

// Removes a folder made by openOwnFolder with the files in it. A link inside is removed itself,
// never followed. False when anything is left.
bool removeOwnFolder(const std::string& path);

// A random text of `length` letters and digits, for names no one can guess.
std::string randomName(std::size_t length);

// At most `limit` bytes of a file from byte `offset` on (none past its end), and the file's
// whole size; nothing when it cannot be read.
struct FilePart {
  std::string bytes;
  std::uint64_t size = 0;
};
std::optional<FilePart> readFilePart(const std::string& path, std::uint64_t offset,
                                     std::uint64_t limit);

// This process's id.
unsigned long processId();

// The computer's name as the network knows it: Windows' NetBIOS name (GetComputerNameW), as
// UTF-8; the host name on POSIX. Empty when it cannot be read.
std::string computerName();

// When the machine last started, or nothing when that cannot be told. Windows: the time now
// less GetTickCount64; POSIX: less CLOCK_BOOTTIME, or, when MEFW_BOOT_TIME is set, the UTC time
// it gives in the run records' form ("2026-12-08T23:10:00Z"), for tests (nothing when it does
// not read as one).
std::optional<std::time_t> bootTime();

// The Windows Application log ----------------------------------------------------------------
// The POSIX build has none: both calls do nothing there and report no failure.

enum class EventLevel { information, warning, error };

// Registers the event source "mefwupdate", so that Event Viewer and Get-WinEvent show an
// event's whole text, also once the Kitbox is gone: the message file is put into `folder`
// (unless the same file is there already), and the source's key
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\mefwupdate is pointed at it.
// Empty when done; otherwise what failed.
std::string registerEventSource(const std::string& folder);

// Writes one event of the source "mefwupdate" with its insertion strings. Empty when written;
// otherwise what failed.
std::string reportEvent(EventLevel level, unsigned id, const std::vector<std::string>& strings);

// The process exit status for an exit code. POSIX keeps only the low eight bits, so a
// non-zero code whose low byte is zero must not reach the caller as success.
int processExitStatus(int exitCode);

}  // namespace platform
