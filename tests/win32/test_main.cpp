// Runs the tests of the real platform layer on a thread with COM initialised
// (apartment model), as the program's user-interface thread has it.

#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int result = RUN_ALL_TESTS();
  if (SUCCEEDED(com)) ::CoUninitialize();
  return result;
}
