// Prints the version information of a file as Windows reports it (GetFileVersionInfoA and
// VerQueryValueA), one "name=value" line each, for check_stamp.py's Windows reader. Built with
// MinGW only; the tests run it under wine.
//
// Usage: read_version_info FILE

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

bool queryValue(std::vector<char>& info, const std::string& path, void** value, UINT* size) {
  return VerQueryValueA(info.data(), path.c_str(), value, size) != 0 && *size > 0;
}

void printVersion(const char* name, DWORD most, DWORD least) {
  std::printf("%s=%lu.%lu.%lu.%lu\n", name, static_cast<unsigned long>(HIWORD(most)),
              static_cast<unsigned long>(LOWORD(most)), static_cast<unsigned long>(HIWORD(least)),
              static_cast<unsigned long>(LOWORD(least)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: read_version_info FILE\n");
    return 2;
  }
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &handle);
  std::vector<char> info(size);
  if (size == 0 || !GetFileVersionInfoA(argv[1], 0, size, info.data())) {
    std::fprintf(stderr, "read_version_info: no version information in %s (error %lu)\n", argv[1],
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  void* value = nullptr;
  UINT length = 0;
  if (queryValue(info, "\\", &value, &length)) {
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    printVersion("file_version", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    printVersion("product_version", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  }
  if (!queryValue(info, "\\VarFileInfo\\Translation", &value, &length)) return 0;
  const WORD* translation = static_cast<const WORD*>(value);
  std::printf("translation=%04x %04x\n", translation[0], translation[1]);
  char table[9];
  std::snprintf(table, sizeof table, "%04x%04x", translation[0], translation[1]);
  for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "LegalCopyright",
                           "ProductName", "ProductVersion"}) {
    const std::string path = std::string("\\StringFileInfo\\") + table + "\\" + name;
    if (queryValue(info, path, &value, &length)) {
      std::printf("%s\\%s=%s\n", table, name, static_cast<const char*>(value));
    }
  }
  return 0;
}
