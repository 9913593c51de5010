#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace cu::win32::test {

namespace {
constexpr const char* kTestsKey = "Software\\ClearUtilityTests";
}

std::string ExeFolder() {
  char path[MAX_PATH * 4] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  std::string text(path, length);
  return text.substr(0, text.find_last_of('\\') + 1);
}

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

TestKey::TestKey(const std::string& name) : path_(std::string(kTestsKey) + "\\" + name) {
  Remove();
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key_.receive(), nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create test key " + path_);
  }
}

TestKey::~TestKey() {
  key_.reset();
  Remove();
}

void TestKey::SetRaw(const std::string& name, DWORD type, const std::string& bytes) {
  ASSERT_EQ(::RegSetValueExA(key_.get(), name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

void TestKey::Remove() { ::RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str()); }

Sandbox::Sandbox(const std::string& name) {
  char temp[MAX_PATH * 4] = {};
  const DWORD length = ::GetTempPathA(sizeof temp, temp);
  std::string root = std::string(temp, length) + "ClearUtilityTests\\";
  ::CreateDirectoryA(root.c_str(), nullptr);
  folder_ = root + name + "\\";
  RemoveTree(folder_);
  if (!::CreateDirectoryA(folder_.c_str(), nullptr)) {
    throw std::runtime_error("cannot create sandbox " + folder_);
  }
}

Sandbox::~Sandbox() { RemoveTree(folder_); }

void Sandbox::WriteFile(const std::string& name, const std::string& content) const {
  std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << Path(name);
}

std::string Sandbox::ReadFile(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Sandbox::MakeFolder(const std::string& name) const {
  ASSERT_TRUE(::CreateDirectoryA(Path(name).c_str(), nullptr)) << Path(name);
}

void RemoveTree(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() == '\\') base.pop_back();
  WIN32_FIND_DATAA data{};
  UniqueFind search(::FindFirstFileA((base + "\\*").c_str(), &data));
  if (search) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = base + "\\" + name;
      ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        // Links are removed, never followed.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
          ::RemoveDirectoryA(path.c_str());
        } else {
          RemoveTree(path);
        }
      } else {
        ::DeleteFileA(path.c_str());
      }
    } while (::FindNextFileA(search.get(), &data));
  }
  search.reset();
  ::SetFileAttributesA(base.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::RemoveDirectoryA(base.c_str());
}

}  // namespace cu::win32::test
