// The stage on Windows: a folder of its own in <Windows folder>\Temp, which ordinary users may
// add to but where they can neither rename nor delete another's folder. Not the user's %TEMP%:
// the elevated user's unelevated programs may change that.
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/files_win32.h"
#include "platform/platform.h"
#include "platform/system_folder_win32.h"

namespace platform {

namespace {

const char* const stagePrefix = "mefwupdate-stage-";
constexpr std::size_t stageSuffixLength = 16;

// <Windows folder>\Temp, the Windows folder as the system names it, never from the environment;
// "" when it cannot be named in the program's narrow text.
std::string stageParent() {
  wchar_t folder[MAX_PATH];
  std::string parent = exactNarrowName(folder, GetSystemWindowsDirectoryW(folder, MAX_PATH));
  if (parent.empty()) return "";
  if (parent.back() != '\\') parent += '\\';
  return parent + "Temp";
}

bool isStageName(const std::string& name) {
  std::size_t prefix = std::strlen(stagePrefix);
  if (name.size() != prefix + stageSuffixLength || name.compare(0, prefix, stagePrefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix; i < name.size(); ++i) {
    char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

bool isTrustedSid(PSID sid) {
  return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// A stage's rights, as makeStageFolder gives them: a protected DACL that grants only SYSTEM and
// Administrators anything, and an owner that is one of them (or this account).
bool hasStageRights(HANDLE folder, PSID runningAccount) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                      &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  bool sound = owner != nullptr && dacl != nullptr &&
               (isTrustedSid(owner) || (runningAccount && EqualSid(owner, runningAccount))) &&
               GetSecurityDescriptorControl(descriptor, &control, &revision) &&
               (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; sound && i < dacl->AceCount; ++i) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) return false;
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    sound = isTrustedSid(&reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart);
  }
  LocalFree(descriptor);
  return sound;
}

std::vector<unsigned char> runningAccountSid() {
  HANDLE token = nullptr;
  std::vector<unsigned char> buffer;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return buffer;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  buffer.resize(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    buffer.clear();
  }
  CloseHandle(token);
  return buffer;
}

// The folder itself, never what a reparse point names.
bool looksLikeOurStage(const std::string& path, PSID runningAccount) {
  HANDLE folder =
      CreateFileW(widePath(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  bool ours = GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof tag) &&
              (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
              (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
              hasStageRights(folder, runningAccount);
  CloseHandle(folder);
  return ours;
}

}  // namespace

const char* stageFolderAccess() { return "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"; }

StageFolder makeStageFolder() {
  std::string parent = stageParent();
  if (parent.empty()) return {"", "the Windows folder cannot be named"};
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(stageFolderAccess(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return {"", lastSystemError()};
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  StageFolder stage;
  // A name that exists already is never used: the next one is tried.
  for (int attempt = 0; attempt < 8 && stage.path.empty(); ++attempt) {
    std::string path = parent + "\\" + stagePrefix + randomName(stageSuffixLength);
    if (CreateDirectoryW(widePath(path).c_str(), &attributes)) {
      stage.path = path;
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      stage.problem = parent + ": " + lastSystemError();
      break;
    }
  }
  if (stage.path.empty() && stage.problem.empty()) stage.problem = "no free name in " + parent;
  LocalFree(descriptor);
  return stage;
}

std::vector<std::string> leftStageFolders() {
  std::vector<std::string> stages;
  std::string parent = stageParent();
  if (parent.empty()) return stages;
  std::vector<unsigned char> account = runningAccountSid();
  PSID runningAccount =
      account.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(account.data())->User.Sid;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((parent + "\\" + stagePrefix + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return stages;
  do {
    std::string path = parent + "\\" + found.cFileName;
    if (isStageName(found.cFileName) && looksLikeOurStage(path, runningAccount)) {
      stages.push_back(path);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return stages;
}

}  // namespace platform
