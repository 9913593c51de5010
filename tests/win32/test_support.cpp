#include "test_support.h"

#include <stdexcept>

namespace cu::win32::test {

TestKey::TestKey(const std::string& name)
    : ScratchKey(HKEY_CURRENT_USER, "Software\\ClearUtilityTests\\" + name) {
  if (status() != ERROR_SUCCESS) throw std::runtime_error("cannot create test key " + path());
}

Sandbox::Sandbox(const std::string& name) {
  const std::string root = cu::test_kit::TempFolder() + "ClearUtilityTests\\";
  ::CreateDirectoryA(root.c_str(), nullptr);
  folder_ = root + name + "\\";
  (void)cu::test_kit::RemoveTree(folder_);  // a leftover of an earlier run
  if (!::CreateDirectoryA(folder_.c_str(), nullptr)) {
    throw std::runtime_error("cannot create sandbox " + folder_);
  }
}

Sandbox::~Sandbox() { (void)cu::test_kit::RemoveTree(folder_); }

bool Sandbox::WriteFile(const std::string& name, const std::string& content) const {
  return cu::test_kit::WriteWholeFile(Path(name), content);
}

std::string Sandbox::ReadFile(const std::string& name) const {
  return cu::test_kit::ReadWholeFile(Path(name)).value_or("");
}

bool Sandbox::MakeFolder(const std::string& name) const {
  return ::CreateDirectoryA(Path(name).c_str(), nullptr) != FALSE;
}

bool CopyFixture(const std::string& fixture, const std::string& destination) {
  return ::CopyFileA((ExeFolder() + fixture).c_str(), destination.c_str(), FALSE) != FALSE;
}

MessageWindow::MessageWindow()
    : hwnd_(::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ::GetModuleHandleA(nullptr), nullptr)) {}

MessageWindow::~MessageWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
}

}  // namespace cu::win32::test
