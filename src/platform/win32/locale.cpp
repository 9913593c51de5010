#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <cstdio>

#include "platform/text.h"

namespace cu::win32 {
namespace {

std::string LocaleText(LCTYPE type, const char* fallback) {
  char buffer[16] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer) <= 0) return fallback;
  return std::string(buffer, ::strnlen(buffer, sizeof buffer));
}

// Calls a formatting function first for the size it needs, then for the text.
template <typename Format>
std::optional<std::string> Formatted(Format format) {
  const int size = format(nullptr, 0);
  if (size <= 0) return std::nullopt;
  std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
  if (format(buffer.data(), size) <= 0) return std::nullopt;
  return std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size()));
}

std::string GroupedByThree(const std::string& digits, const std::string& separator) {
  std::string result;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) result += separator;
    result += digits[i];
  }
  return result;
}

}  // namespace

int Win32Locale::CompareNoCase(const std::string& a, const std::string& b) {
  const int result = ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(),
                                      static_cast<int>(a.size()), b.data(),
                                      static_cast<int>(b.size()));
  if (result != 0) return result - CSTR_EQUAL;
  // The comparison itself failed: fall back to A-Z folding byte by byte.
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    auto fold = [](char c) {
      return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    };
    if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string Win32Locale::FormatSize(uint64_t bytes) {
  // The digits are passed as text, so a size beyond 32 bits is shown whole.
  const std::string digits = std::to_string(bytes);
  std::string decimal = LocaleText(LOCALE_SDECIMAL, ".");
  std::string thousands = LocaleText(LOCALE_STHOUSAND, ",");
  NUMBERFMTA format{};
  format.NumDigits = 0;
  format.LeadingZero = 1;  // a size of 0 shows as "0"
  format.Grouping = 3;  // "#,##0": groups of three, whatever the locale's own grouping
  format.lpDecimalSep = decimal.data();
  format.lpThousandSep = thousands.data();
  format.NegativeOrder = 1;
  std::optional<std::string> text = Formatted([&](char* buffer, int size) {
    return ::GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits.c_str(), &format, buffer, size);
  });
  return text && !text->empty() ? *text : GroupedByThree(digits, thousands);
}

std::string Win32Locale::FormatTenths(uint64_t tenths) {
  const std::string digits = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
  std::string decimal = LocaleText(LOCALE_SDECIMAL, ".");
  std::string thousands = LocaleText(LOCALE_STHOUSAND, ",");
  NUMBERFMTA format{};
  format.NumDigits = 1;
  format.LeadingZero = 1;
  format.Grouping = 3;
  format.lpDecimalSep = decimal.data();
  format.lpThousandSep = thousands.data();
  format.NegativeOrder = 1;
  std::optional<std::string> text = Formatted([&](char* buffer, int size) {
    return ::GetNumberFormatA(LOCALE_USER_DEFAULT, 0, digits.c_str(), &format, buffer, size);
  });
  if (text && !text->empty()) return *text;
  return GroupedByThree(std::to_string(tenths / 10), thousands) + decimal +
         std::to_string(tenths % 10);
}

std::string Win32Locale::FormatDateTime(const LocalTime& time) {
  const bool midnight = time.hour == 0 && time.minute == 0 && time.second == 0;
  // The system formats the years 1601 to 30827 only.
  if (time.year >= 1601 && time.year <= 30827) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(time.year);
    st.wMonth = static_cast<WORD>(time.month);
    st.wDay = static_cast<WORD>(time.day);
    st.wHour = static_cast<WORD>(time.hour);
    st.wMinute = static_cast<WORD>(time.minute);
    st.wSecond = static_cast<WORD>(time.second);
    std::optional<std::string> date = Formatted([&](char* buffer, int size) {
      return ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, size);
    });
    std::optional<std::string> clock;
    if (date && !midnight) {
      clock = Formatted([&](char* buffer, int size) {
        return ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, size);
      });
    }
    if (date && midnight) return *date;
    if (date && clock) return *date + " " + *clock;
  }
  char buffer[64];
  if (midnight) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", time.year, time.month, time.day);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month,
                  time.day, time.hour, time.minute, time.second);
  }
  return buffer;
}

namespace {

// The number of characters the text holds in the process code page.
int CharacterCount(const std::string& text) {
  return ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
}

// Maps a copy in place. Under UTF-8 a few letters change their byte length
// with their case, which an in-place mapping cannot hold; such a text keeps
// the A to Z mapping alone rather than come back cut.
std::string MappedCopy(const std::string& text, DWORD(WINAPI* map)(LPSTR, DWORD),
                       std::string (*fallback)(std::string_view)) {
  if (text.empty()) return text;
  std::string out = text;
  const DWORD length = static_cast<DWORD>(out.size());
  if (map(out.data(), length) != length || CharacterCount(out) != CharacterCount(text)) {
    return fallback(text);
  }
  return out;
}

}  // namespace

std::string Win32Locale::UpperCase(const std::string& text) {
  return MappedCopy(text, ::CharUpperBuffA, AsciiUpper);
}

std::string Win32Locale::LowerCase(const std::string& text) {
  return MappedCopy(text, ::CharLowerBuffA, AsciiLower);
}

bool Win32Locale::IsLeadByte(unsigned char byte) {
  static const UINT code_page = ::GetACP();
  return code_page != CP_UTF8 && ::IsDBCSLeadByteEx(code_page, byte) != FALSE;
}

}  // namespace cu::win32
