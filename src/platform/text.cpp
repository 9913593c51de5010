#include "platform/text.h"

#include "platform/platform.h"

namespace cu {

namespace {
bool IsSpaceOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
}  // namespace

std::string Trim(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsSpaceOrControl(text[begin])) ++begin;
  while (end > begin && IsSpaceOrControl(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

bool IsBlank(std::string_view text) { return Trim(text).empty(); }

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string NamePart(std::string_view row) {
  const std::size_t eq = row.find('=');
  return std::string(eq == std::string_view::npos ? row : row.substr(0, eq));
}

std::string CommandPart(std::string_view row) {
  const std::size_t eq = row.find('=');
  return std::string(eq == std::string_view::npos ? row : row.substr(eq + 1));
}

bool EndsInBackslash(std::string_view path, Locale& locale) {
  // Characters are walked from the start, as CharPrevA does: a lead byte and
  // the byte after it are one character.
  std::size_t last = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    last = i;
    if (locale.IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) ++i;
  }
  return !path.empty() && last == path.size() - 1 && path[last] == '\\';
}

std::string WithBackslash(std::string_view path, Locale& locale) {
  std::string out(path);
  if (out.empty() || !EndsInBackslash(path, locale)) out += '\\';
  return out;
}

std::string WithoutBackslash(std::string_view path, Locale& locale) {
  std::string out(path);
  if (EndsInBackslash(path, locale) && !IsDriveRoot(path)) out.pop_back();
  return out;
}

std::string WithBackslash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '\\') out += '\\';
  return out;
}

std::string WithoutBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out.back() == '\\' && !IsDriveRoot(path)) out.pop_back();
  return out;
}

bool IsDriveRoot(std::string_view path) {
  return path.size() == 3 && IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\';
}

bool IsFullPath(std::string_view path) {
  if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  if (path.size() < 3 || path[0] != '\\' || path[1] != '\\') return false;
  // "\\server\share": a server name, a backslash and a share name.
  const std::string_view rest = path.substr(2);
  const std::size_t slash = rest.find('\\');
  return slash != std::string_view::npos && slash > 0 && slash + 1 < rest.size() &&
         rest[slash + 1] != '\\';
}

std::string JoinCrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

}  // namespace cu
