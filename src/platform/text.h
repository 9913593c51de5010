#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cu {

// Removes every character with a code of 32 or less from both ends. Bytes of
// multi-byte characters are all above 127, so none is ever cut.
std::string Trim(std::string_view text);
bool IsBlank(std::string_view text);

// Change only the letters A to Z / a to z; every other byte stays.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

// Text before the first '=' (all of it when there is none) and after it.
std::string NamePart(std::string_view row);
std::string CommandPart(std::string_view row);

// Adds a backslash unless the text already ends in one.
std::string WithBackslash(std::string_view path);
// Cuts one trailing backslash.
std::string WithoutBackslash(std::string_view path);

// Lines ended by CR LF each, the last one included.
std::string JoinCrLf(const std::vector<std::string>& lines);

}  // namespace cu
