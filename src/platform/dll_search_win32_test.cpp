// The Windows program's defence against DLLs planted beside it, against the real loader.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace {

// The probe lies beside this test program, as a planted DLL lies beside the installer.
const char* const plantedDll = "mefw_planted_probe.dll";

TEST(DllSearch, PlantedDllIsFoundBeforeThePreparationAndNeverAfterIt) {
  HMODULE before = LoadLibraryA(plantedDll);
  ASSERT_NE(before, nullptr) << "the probe must lie beside the test program";
  FreeLibrary(before);
  platform::prepareProcess();
  HMODULE after = LoadLibraryA(plantedDll);
  EXPECT_EQ(after, nullptr);
  if (after != nullptr) FreeLibrary(after);
  // System DLLs still load.
  HMODULE system = LoadLibraryA("version.dll");
  EXPECT_NE(system, nullptr);
  if (system != nullptr) FreeLibrary(system);
}

}  // namespace
