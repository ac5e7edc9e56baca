// The event source against the real registry and Windows' own message formatting, which Event
// Viewer and Get-WinEvent use to show an event's text.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/error_catalogue.h"
#include "platform/event_message_file.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace {

const wchar_t* const sourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\mefwupdate";

std::wstring registryText(const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof value;
  LONG status = RegGetValueW(HKEY_LOCAL_MACHINE, sourceKey, name,
                             RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value, &size);
  return status == ERROR_SUCCESS ? value : L"(none)";
}

// The text an event of this ID shows with these strings, or "(none)" without a message.
std::wstring formatted(HMODULE messages, unsigned id, std::vector<std::wstring> strings) {
  std::vector<DWORD_PTR> arguments;
  for (const std::wstring& text : strings) {
    arguments.push_back(reinterpret_cast<DWORD_PTR>(text.c_str()));
  }
  wchar_t text[2048] = {};
  DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages, id, 0,
                     text, 2048, reinterpret_cast<va_list*>(arguments.data()));
  return length == 0 ? L"(none)" : std::wstring(text, length);
}

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / "mefw-event-log";
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override {
    if (messages != nullptr) FreeLibrary(messages);
    fs::remove_all(folder);
  }

  HMODULE loadMessages() {
    messages = LoadLibraryExW((folder / "mefwupdate-messages.dll").wstring().c_str(), nullptr,
                              LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    return messages;
  }

  fs::path folder;
  HMODULE messages = nullptr;
};

TEST_F(EventLogTest, TheSourceIsRegisteredWithItsMessageFileOutsideTheKitbox) {
  ASSERT_EQ(platform::registerEventSource(folder.string()), "");
  fs::path file = folder / "mefwupdate-messages.dll";
  EXPECT_EQ(fs::file_size(file), platform::eventMessageFileSize);
  EXPECT_EQ(registryText(L"EventMessageFile"), file.wstring());
  DWORD types = 0;
  DWORD size = sizeof types;
  EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, sourceKey, L"TypesSupported", RRF_RT_REG_DWORD,
                         nullptr, &types, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(types, 7u);
  // The same file again is left alone: Event Viewer may hold it open.
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(platform::registerEventSource(folder.string()), "");
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(platform::reportEvent(platform::EventLevel::warning, 2015, {"a", "b"}), "");
  EXPECT_NE(platform::registerEventSource("").find("no state folder"), std::string::npos);
}

TEST_F(EventLogTest, EveryEventIdHasItsWholeText) {
  ASSERT_EQ(platform::registerEventSource(folder.string()), "");
  ASSERT_NE(loadMessages(), nullptr);
  std::vector<std::wstring> strings = {
      L"ERROR 2011s: old BIOS", L"2011",  L"11.8.50.3399", L"11.8.55.3510", L"C:\\Kitbox",
      L"C:\\Records",           L"update"};
  const std::wstring runEnd =
      L"ERROR 2011s: old BIOS\r\n\r\nExit code: 2011\r\nMode: update\r\nInstalled firmware: "
      L"11.8.50.3399\r\nKitbox firmware: 11.8.55.3510\r\nKitbox: C:\\Kitbox\r\nRecord: "
      L"C:\\Records";
  std::vector<unsigned> ids = {0, 1, 100, 4000, 4001, 9999};
  ErrorCatalogue catalogue = startErrorCatalogue();
  for (const auto& [code, text] : runTimeErrorCodes()) {
    catalogue[code] = text;
  }
  for (const auto& entry : catalogue) {
    ids.push_back(static_cast<unsigned>(std::stoi(entry.first.substr(0, 4))));
  }
  for (unsigned id : ids) {
    EXPECT_EQ(formatted(messages, id, strings), runEnd) << id;
    EXPECT_EQ(formatted(messages, 10000 + id, strings), runEnd) << id;
  }
  EXPECT_EQ(
      formatted(messages, 9000, {L"11.8.50.3399", L"11.8.55.3510", L"C:\\Kitbox", L"C:\\Records"}),
      L"The firmware flash started: 11.8.50.3399 to 11.8.55.3510. Do not shut down or "
      L"restart the computer until it has ended.\r\n\r\nKitbox: C:\\Kitbox\r\nRecord: "
      L"C:\\Records");
  EXPECT_EQ(formatted(messages, 5, strings), L"(none)");
}

}  // namespace
