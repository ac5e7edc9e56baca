// The state folder on Windows: <ProgramData>\Norvane\mefwupdate. Standard users may make
// folders in ProgramData, and the installer runs elevated, so our own folders are made with a
// protected DACL, and a folder that is a reparse point or belongs to another account is never
// written in.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>
#include <vector>

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

// True unless the owner can be read and is someone we do not trust.
bool ownerIsTrusted(const std::string& path) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return true;
  }
  bool trusted = owner == nullptr || IsWellKnownSid(owner, WinLocalSystemSid) ||
                 IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || isRunningAccount(owner);
  LocalFree(descriptor);
  return trusted;
}

// Makes the folder (with the protected DACL when asked) or checks the one there.
std::string openFolder(const std::string& path, bool protect) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  if (protect && ConvertStringSecurityDescriptorToSecurityDescriptorA(
                     stateFolderAccess, SDDL_REVISION_1, &descriptor, nullptr)) {
    attributes.lpSecurityDescriptor = descriptor;
  }
  CreateDirectoryA(path.c_str(), protect ? &attributes : nullptr);
  if (descriptor != nullptr) LocalFree(descriptor);
  DWORD found = GetFileAttributesA(path.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return path + " cannot be made";
  if ((found & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return path + " is a reparse point";
  if ((found & FILE_ATTRIBUTE_DIRECTORY) == 0) return path + " is not a folder";
  if (!ownerIsTrusted(path)) return path + " is owned by another account";
  return "";
}

}  // namespace

std::string openOwnFolder(const std::string& path) { return openFolder(path, false); }

StateFolder openStateFolder() {
  std::string programData = programDataFolder();
  if (programData.empty()) return {"", "the ProgramData folder is unknown"};
  if (programData.back() != '\\') programData += '\\';
  std::string vendor = programData + "Norvane";
  std::string problem = openFolder(vendor, true);
  if (!problem.empty()) return {"", problem};
  std::string folder = vendor + "\\mefwupdate";
  problem = openFolder(folder, true);
  if (!problem.empty()) return {"", problem};
  return {folder, ""};
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
