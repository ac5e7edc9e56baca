// The state folder on Windows: <ProgramData>\Norvane\mefwupdate. Standard users may make
// folders in ProgramData, and the installer runs elevated, so our own folders are made with a
// protected DACL, and each folder's facts are read from a handle on the folder itself, held for
// the whole run: a folder checked cannot be swapped for another before it is written in.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "platform/files_win32.h"
#include "platform/platform.h"

namespace platform {

namespace {

// FOLDERID_ProgramData, spelled out so that no GUID library is linked.
const GUID programDataFolderId = {
    0x62ab5d82, 0xfdc1, 0x4dc3, {0xa9, 0xdd, 0x07, 0x0d, 0x1d, 0x49, 0x5d, 0x97}};

// Full control for SYSTEM and Administrators, read for Users; nothing inherited from above.
const char* const stateFolderAccess = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";

// CoTaskMemFree lives in ole32, which the program does not import: it is loaded from the
// system folder only when needed. Without it the few bytes are left to the process's end.
void freeShellText(PWSTR text) {
  HMODULE ole = LoadLibraryExW(L"ole32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (ole == nullptr) return;
  using Free = void(WINAPI*)(LPVOID);
  Free free = reinterpret_cast<Free>(reinterpret_cast<void*>(GetProcAddress(ole, "CoTaskMemFree")));
  if (free != nullptr) free(text);
  FreeLibrary(ole);
}

std::string programDataFolder() {
  PWSTR wide = nullptr;
  if (FAILED(SHGetKnownFolderPath(programDataFolderId, 0, nullptr, &wide)) || wide == nullptr) {
    return "";
  }
  int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  std::string folder;
  if (bytes > 1) {
    std::vector<char> narrow(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow.data(), bytes, nullptr, nullptr);
    folder = narrow.data();
  }
  freeShellText(wide);
  return folder;
}

bool isRunningAccount(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  bool same = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
              EqualSid(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, sid);
  CloseHandle(token);
  return same;
}

Account accountOf(PSID sid) {
  if (sid == nullptr) return Account::unreadable;
  if (IsWellKnownSid(sid, WinLocalSystemSid)) return Account::system;
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) return Account::administrators;
  if (isRunningAccount(sid)) return Account::runningAccount;
  return Account::other;
}

// Who may do what to the folder itself. An ACE that is only handed down to what the folder
// holds gives no right on the folder; a missing DACL gives everyone every right.
std::vector<FolderGrant> grantsOf(PACL dacl) {
  if (dacl == nullptr) {
    return {{Account::other, addEntries | removeEntries | changeRights | takeOwnership}};
  }
  std::vector<FolderGrant> grants;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) {
      grants.push_back({Account::unreadable, addEntries});
      continue;
    }
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->AceFlags & INHERIT_ONLY_ACE) != 0) {
      continue;
    }
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
    unsigned rights = folderRightsOf(allowed->Mask);
    if (rights != 0) grants.push_back({accountOf(&allowed->SidStart), rights});
  }
  return grants;
}

// The facts of what the handle opened, read from the handle alone.
FolderFacts factsOf(HANDLE folder) {
  FolderFacts facts;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof tag)) return facts;
  facts.exists = true;
  facts.isFolder = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.isLink =
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && isLinkTag(tag.ReparseTag);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // An owner or rights that cannot be read stay unreadable: the folder is then not used.
  if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    facts.grants.push_back({Account::unreadable, addEntries});
    return facts;
  }
  facts.owner = accountOf(owner);
  facts.grants = grantsOf(dacl);
  LocalFree(descriptor);
  return facts;
}

// The folder itself, never what a reparse point names; renaming and deleting it are denied to
// everyone while the handle is open.
HANDLE openFolderItself(const std::string& path) {
  return CreateFileW(widePath(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

std::map<std::string, HANDLE>& heldFolders() {
  static std::map<std::string, HANDLE> folders;
  return folders;
}

void letGoOfFolder(const std::string& path) {
  auto held = heldFolders().find(path);
  if (held == heldFolders().end()) return;
  CloseHandle(held->second);
  heldFolders().erase(held);
}

}  // namespace

unsigned folderRightsOf(ACCESS_MASK mask) {
  unsigned rights = 0;
  if (mask & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | GENERIC_WRITE | GENERIC_ALL)) {
    rights |= addEntries;
  }
  if (mask & (FILE_DELETE_CHILD | DELETE | GENERIC_ALL)) rights |= removeEntries;
  if (mask & (WRITE_DAC | GENERIC_ALL)) rights |= changeRights;
  if (mask & (WRITE_OWNER | GENERIC_ALL)) rights |= takeOwnership;
  return rights;
}

StatePlace stateFolderPlace() {
  std::string programData = programDataFolder();
  if (programData.empty()) return {"", "", "the ProgramData folder is unknown"};
  if (programData.back() != '\\') programData += '\\';
  std::string vendor = programData + "Norvane";
  return {vendor, vendor + "\\mefwupdate", ""};
}

FolderFacts folderFacts(const std::string& path) {
  HANDLE folder = openFolderItself(path);
  if (folder == INVALID_HANDLE_VALUE) return {};
  FolderFacts facts = factsOf(folder);
  CloseHandle(folder);
  return facts;
}

FolderFacts openOwnFolder(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA(stateFolderAccess, SDDL_REVISION_1,
                                                           &descriptor, nullptr)) {
    attributes.lpSecurityDescriptor = descriptor;
  }
  CreateDirectoryW(widePath(path).c_str(), &attributes);
  if (descriptor != nullptr) LocalFree(descriptor);
  HANDLE folder = openFolderItself(path);
  if (folder == INVALID_HANDLE_VALUE) return {};
  letGoOfFolder(path);
  heldFolders()[path] = folder;
  return factsOf(folder);
}

bool renameFolder(const std::string& path, const std::string& newPath) {
  letGoOfFolder(path);
  return MoveFileExW(widePath(path).c_str(), widePath(newPath).c_str(), 0) != FALSE;
}

unsigned long processId() { return GetCurrentProcessId(); }

std::string computerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &length) || length == 0) return "";
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return "";
  std::string text(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length), text.data(), bytes, nullptr,
                      nullptr);
  return text;
}

}  // namespace platform
