#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <winver.h>

namespace cu::win32 {
namespace {

class Win32VersionInfo : public VersionInfo {
 public:
  explicit Win32VersionInfo(std::vector<char> block) : block_(std::move(block)) {}

  std::optional<Translation> FirstTranslation() override {
    void* data = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block_.data(), "\\VarFileInfo\\Translation", &data, &length) ||
        data == nullptr || length < sizeof(DWORD)) {
      return std::nullopt;
    }
    DWORD entry = 0;
    std::memcpy(&entry, data, sizeof entry);
    return Translation{LOWORD(entry), HIWORD(entry)};
  }

  std::optional<std::string> QueryString(const std::string& sub_block) override {
    // One canonical form for the query: a leading backslash and no empty
    // components. Letter case is left to the system, which ignores it.
    std::string query;
    std::size_t start = 0;
    while (start <= sub_block.size()) {
      std::size_t end = sub_block.find('\\', start);
      if (end == std::string::npos) end = sub_block.size();
      if (end > start) {
        query += '\\';
        query.append(sub_block, start, end - start);
      }
      start = end + 1;
    }
    if (query.empty()) return std::nullopt;  // the root holds no string

    void* data = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(block_.data(), query.c_str(), &data, &length) || data == nullptr) {
      return std::nullopt;
    }
    // The text ends at its NUL; never read past the block it lies in.
    const char* text = static_cast<const char*>(data);
    const char* block_end = block_.data() + block_.size();
    if (text < block_.data() || text >= block_end) return std::string(text);
    return std::string(text, ::strnlen(text, static_cast<std::size_t>(block_end - text)));
  }

 private:
  std::vector<char> block_;
};

}  // namespace

std::unique_ptr<VersionInfo> Win32VersionResources::Load(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return nullptr;
  std::vector<char> block(std::size_t{size} + 1, '\0');
  // A block that could not be read would only give empty answers.
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return nullptr;
  return std::make_unique<Win32VersionInfo>(std::move(block));
}

}  // namespace cu::win32
