// The behaviour tests' program on Windows: the system's objects linked in,
// with the module's resources, so ModuleInstance is this program; the
// operator's hands start before the first test.
#include <gtest/gtest.h>
#include <windows.h>

#include "common/Globals.h"

extern "C" int TalverDllMain(void* module, DWORD reason, void* reserved);
void StartWindowOperator();  // tests/windows/WindowOperator.cpp

int main(int argc, char** argv) {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  TalverDllMain(::GetModuleHandleA(nullptr), 1, nullptr);
  StartWindowOperator();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
