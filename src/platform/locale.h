#pragma once

// The user's locale: comparison, number and date formats, case mapping. Part of the seam (see platform.h).

#include <cstdint>
#include <string>

namespace cu {

// A point in local time, as the file search reports a last-write time.
struct LocalTime {
  int year = 1980;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class Locale {
 public:
  virtual ~Locale() = default;
  // Case-insensitive comparison by the user's locale: <0, 0, >0.
  [[nodiscard]] virtual int CompareNoCase(const std::string& a, const std::string& b) = 0;
  // Whole bytes grouped by three with the user's thousands separator ("#,##0").
  [[nodiscard]] virtual std::string FormatSize(uint64_t bytes) = 0;
  // A number of tenths with one decimal, the user's decimal separator and
  // thousands grouped by three ("1,234.5" for 12345).
  [[nodiscard]] virtual std::string FormatTenths(uint64_t tenths) = 0;
  // The user's short date, then a blank and the long time unless the time
  // is exactly midnight.
  [[nodiscard]] virtual std::string FormatDateTime(const LocalTime& time) = 0;
  // The text in capitals, or in small letters, by the system's ANSI case
  // mapping of the process code page (letters beyond A to Z included). The
  // length in bytes never changes.
  [[nodiscard]] virtual std::string UpperCase(const std::string& text) = 0;
  [[nodiscard]] virtual std::string LowerCase(const std::string& text) = 0;
  // True when the byte opens a double-byte character in the process code
  // page; never under UTF-8 or a single-byte code page.
  [[nodiscard]] virtual bool IsLeadByte(unsigned char byte) = 0;
};

}  // namespace cu
