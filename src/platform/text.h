#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cu {

class Locale;

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

// True when the path's last character is a backslash of its own, not the
// second byte of a double-byte character of the process code page.
bool EndsInBackslash(std::string_view path, Locale& locale);
// Adds a backslash unless the path already ends in one of its own.
std::string WithBackslash(std::string_view path, Locale& locale);
// Cuts one trailing backslash of its own, except a drive root's ("D:\"):
// without it, "D:" names the current folder of drive D, not its root.
std::string WithoutBackslash(std::string_view path, Locale& locale);
// The same by bytes alone, for paths in which no double-byte character
// stands: the memory machine's, and the path-based removal's, which gets
// folders the program already cut.
std::string WithBackslash(std::string_view path);
std::string WithoutBackslash(std::string_view path);

// True for the root of a drive: a letter, ":" and "\".
bool IsDriveRoot(std::string_view path);
// True for a path that names the same place whatever the current folder:
// "X:\...", "\\server\share..." and "\\?\..." (so also "\\.\..."). Not
// for "Temp", "D:Temp" or "\Temp", which Windows takes from the process's
// current folder or drive.
bool IsFullPath(std::string_view path);

// Lines ended by CR LF each, the last one included.
std::string JoinCrLf(const std::vector<std::string>& lines);

}  // namespace cu
