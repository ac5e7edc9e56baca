// The Application log. The source's registry values point at a message file in the state
// folder: the Kitbox, where the program lies, is deleted after a deployment, and an event whose
// message file is gone shows only its bare strings.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/event_message_file.h"
#include "platform/platform.h"

namespace platform {

namespace {

const wchar_t* const sourceName = L"mefwupdate";
const wchar_t* const sourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\mefwupdate";
const char* const messageFileName = "mefwupdate-messages.dll";

std::wstring wideText(const std::string& text) {
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string errorText(const char* call, DWORD error) {
  return std::string(call) + " failed with error " + std::to_string(error);
}

// Event Viewer may hold the file open, so one that is already right is left alone.
bool holdsMessageFile(const std::string& path) {
  std::optional<FilePart> present = readFilePart(path, 0, eventMessageFileSize + 1);
  return present && present->bytes.size() == eventMessageFileSize &&
         present->bytes.compare(0, std::string::npos,
                                reinterpret_cast<const char*>(eventMessageFile),
                                eventMessageFileSize) == 0;
}

std::string placeMessageFile(const std::string& path) {
  if (holdsMessageFile(path)) return "";
  OutputFile file(path, FileMode::raw, WriteMethod::replaceUnsynced);
  std::string_view bytes(reinterpret_cast<const char*>(eventMessageFile), eventMessageFileSize);
  if (!file.isOpen() || !file.write(bytes) || !file.commit()) return "cannot write " + path;
  return "";
}

std::string setValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  LONG status = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  return status == ERROR_SUCCESS ? "" : errorText("RegSetValueExW", static_cast<DWORD>(status));
}

std::string pointSourceAt(const std::string& messageFile) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, sourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return errorText("RegCreateKeyExW", static_cast<DWORD>(status));
  std::wstring file = wideText(messageFile);
  DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  std::string problem = setValue(key, L"EventMessageFile", REG_EXPAND_SZ, file.c_str(),
                                 static_cast<DWORD>((file.size() + 1) * sizeof(wchar_t)));
  if (problem.empty()) problem = setValue(key, L"TypesSupported", REG_DWORD, &types, sizeof types);
  RegCloseKey(key);
  return problem;
}

WORD eventType(EventLevel level) {
  switch (level) {
    case EventLevel::warning:
      return EVENTLOG_WARNING_TYPE;
    case EventLevel::error:
      return EVENTLOG_ERROR_TYPE;
    case EventLevel::information:
      break;
  }
  return EVENTLOG_INFORMATION_TYPE;
}

}  // namespace

std::string registerEventSource(const std::string& folder) {
  if (folder.empty()) return "there is no state folder for the message file";
  std::string messageFile = folder + "\\" + messageFileName;
  std::string problem = placeMessageFile(messageFile);
  return problem.empty() ? pointSourceAt(messageFile) : problem;
}

std::string reportEvent(EventLevel level, unsigned id, const std::vector<std::string>& strings) {
  HANDLE source = RegisterEventSourceW(nullptr, sourceName);
  if (source == nullptr) return errorText("RegisterEventSourceW", GetLastError());
  std::vector<std::wstring> wide;
  for (const std::string& text : strings) {
    wide.push_back(wideText(text));
  }
  std::vector<LPCWSTR> pointers;
  for (const std::wstring& text : wide) {
    pointers.push_back(text.c_str());
  }
  BOOL written = ReportEventW(source, eventType(level), 0, id, nullptr,
                              static_cast<WORD>(pointers.size()), 0, pointers.data(), nullptr);
  DWORD error = GetLastError();
  DeregisterEventSource(source);
  return written ? "" : errorText("ReportEventW", error);
}

}  // namespace platform
