#include <cstdint>

#include "platform/memory/memory_machine.h"

namespace cu::memory {

namespace {

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16 code units of `bytes` (after the mark) as UTF-8; nullopt for a
// lone surrogate or an odd length.
std::optional<std::string> Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(bytes[i + (big_endian ? 1 : 0)]);
    const auto hi = static_cast<unsigned char>(bytes[i + (big_endian ? 0 : 1)]);
    uint32_t code = static_cast<uint32_t>(hi << 8 | lo);
    if (code >= 0xD800 && code <= 0xDBFF) {
      if (i + 3 >= bytes.size()) return std::nullopt;
      const auto lo2 = static_cast<unsigned char>(bytes[i + 2 + (big_endian ? 1 : 0)]);
      const auto hi2 = static_cast<unsigned char>(bytes[i + 2 + (big_endian ? 0 : 1)]);
      const uint32_t low = static_cast<uint32_t>(hi2 << 8 | lo2);
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (code >= 0xDC00 && code <= 0xDFFF) {
      return std::nullopt;
    }
    AppendUtf8(out, code);
  }
  return out;
}

// A strict reader of the XML this program meets: elements, attributes,
// character data, CDATA, comments, processing instructions and the five
// predefined and numeric references. A document type is refused, as the
// system reader here is set to do.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<XmlElement> Document() {
    SkipMisc();
    if (!At("<") || At("</")) return std::nullopt;
    XmlElement root;
    if (!Element(root, 0)) return std::nullopt;
    SkipMisc();
    if (failed_ || pos_ != text_.size()) return std::nullopt;
    return root;
  }

 private:
  bool At(std::string_view what) const { return text_.substr(pos_, what.size()) == what; }
  static bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  void SkipSpace() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
  }
  bool SkipPast(std::string_view end) {
    const std::size_t found = text_.find(end, pos_);
    if (found == std::string_view::npos) return false;
    pos_ = found + end.size();
    return true;
  }
  // Blanks, comments and processing instructions between the parts of a document.
  void SkipMisc() {
    for (;;) {
      SkipSpace();
      if (At("<!--")) {
        if (!SkipPast("-->")) failed_ = true;
      } else if (At("<?")) {
        if (!SkipPast("?>")) failed_ = true;
      } else {
        return;
      }
      if (failed_) return;
    }
  }
  std::string Name() {
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsSpace(text_[pos_]) &&
           std::string_view("/>=<\"'&").find(text_[pos_]) == std::string_view::npos) {
      ++pos_;
    }
    return std::string(text_.substr(start, pos_ - start));
  }
  static std::string LocalName(const std::string& name) {
    const std::size_t colon = name.find(':');
    return colon == std::string::npos ? name : name.substr(colon + 1);
  }
  // Appends `raw` with its references resolved; false for a bad reference.
  static bool Decode(std::string_view raw, std::string& out) {
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '<') return false;
      if (raw[i] != '&') {
        out += raw[i];
        continue;
      }
      const std::size_t end = raw.find(';', i);
      if (end == std::string_view::npos) return false;
      const std::string_view ref = raw.substr(i + 1, end - i - 1);
      if (ref == "lt") out += '<';
      else if (ref == "gt") out += '>';
      else if (ref == "amp") out += '&';
      else if (ref == "quot") out += '"';
      else if (ref == "apos") out += '\'';
      else if (ref.size() > 1 && ref[0] == '#') {
        const bool hex = ref[1] == 'x';
        const std::string digits(ref.substr(hex ? 2 : 1));
        if (digits.empty() || digits.size() > 6) return false;
        uint32_t code = 0;
        for (char c : digits) {
          const int value = c >= '0' && c <= '9'   ? c - '0'
                            : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                            : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                          : -1;
          if (value < 0) return false;
          code = code * (hex ? 16 : 10) + static_cast<uint32_t>(value);
        }
        if (code == 0 || code > 0x10FFFF) return false;
        AppendUtf8(out, code);
      } else {
        return false;
      }
      i = end;
    }
    return true;
  }
  bool Element(XmlElement& element, std::size_t depth) {
    if (++elements_ > kMaxXmlElements || depth > 256) return false;
    ++pos_;  // '<'
    const std::string qualified = Name();
    if (qualified.empty()) return false;
    element.name = LocalName(qualified);
    for (;;) {
      SkipSpace();
      if (At("/>")) {
        pos_ += 2;
        return true;
      }
      if (At(">")) {
        ++pos_;
        break;
      }
      const std::string attribute = Name();
      if (attribute.empty()) return false;
      SkipSpace();
      if (!At("=")) return false;
      ++pos_;
      SkipSpace();
      if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\'')) return false;
      const char quote = text_[pos_++];
      const std::size_t end = text_.find(quote, pos_);
      if (end == std::string_view::npos) return false;
      std::string value;
      if (!Decode(text_.substr(pos_, end - pos_), value)) return false;
      pos_ = end + 1;
      // Namespace declarations are not attributes of the element's data.
      if (attribute != "xmlns" && attribute.rfind("xmlns:", 0) != 0) {
        element.attributes.emplace_back(LocalName(attribute), std::move(value));
      }
    }
    for (;;) {
      if (pos_ >= text_.size()) return false;
      if (At("</")) {
        pos_ += 2;
        if (Name() != qualified) return false;
        SkipSpace();
        if (!At(">")) return false;
        ++pos_;
        return true;
      }
      if (At("<!--")) {
        if (!SkipPast("-->")) return false;
      } else if (At("<![CDATA[")) {
        const std::size_t start = pos_ + 9;
        if (!SkipPast("]]>")) return false;
        element.text.append(text_.substr(start, pos_ - 3 - start));
      } else if (At("<!")) {
        return false;
      } else if (At("<?")) {
        if (!SkipPast("?>")) return false;
      } else if (At("<")) {
        if (!Element(element.children.emplace_back(), depth + 1)) return false;
      } else {
        const std::size_t end = text_.find('<', pos_);
        if (end == std::string_view::npos) return false;
        if (!Decode(text_.substr(pos_, end - pos_), element.text)) return false;
        pos_ = end;
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t elements_ = 0;
  bool failed_ = false;
};

}  // namespace

std::optional<XmlElement> MemoryXmlParser::Parse(const std::string& bytes) {
  ++parses;
  if (bytes.size() > kMaxXmlBytes) return std::nullopt;
  std::string_view view(bytes);
  std::optional<std::string> converted;
  if (view.substr(0, 3) == "\xEF\xBB\xBF") {
    view.remove_prefix(3);
  } else if (view.substr(0, 2) == "\xFF\xFE" || view.substr(0, 2) == "\xFE\xFF") {
    converted = Utf16ToUtf8(view.substr(2), view[0] == '\xFE');
    if (!converted) return std::nullopt;
    view = *converted;
  }
  return Reader(view).Document();
}

}  // namespace cu::memory
