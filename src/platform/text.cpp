#include "platform/text.h"

#include "platform/platform.h"

namespace cu {

namespace {
bool IsSpaceOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }
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
  if (EndsInBackslash(path, locale)) out.pop_back();
  return out;
}

std::string WithBackslash(std::string_view path) {
  std::string out(path);
  if (out.empty() || out.back() != '\\') out += '\\';
  return out;
}

std::string WithoutBackslash(std::string_view path) {
  std::string out(path);
  if (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
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
