#pragma once

// XML documents read into a small tree of elements. Part of the seam (see
// platform.h): on Windows the system's own reader (XmlLite) parses them.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cu {

// What a document may hold before it is refused as not a document this
// program reads: its size in bytes and its number of elements. Task
// definitions and package manifests are far smaller.
inline constexpr std::size_t kMaxXmlBytes = 4u << 20;
inline constexpr std::size_t kMaxXmlElements = 20000;

// One element, names without their namespace prefix, texts decoded (entity
// and character references resolved) in the process's code page.
struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;  // in document order
  std::string text;  // the element's own character data, CDATA included, joined
  std::vector<XmlElement> children;

  // The first child of that name, or null.
  [[nodiscard]] const XmlElement* Child(std::string_view child_name) const;
  // The text of the first child of that name; "" when there is none.
  [[nodiscard]] std::string ChildText(std::string_view child_name) const;
  // The value of the first attribute of that name; nullopt when missing.
  [[nodiscard]] std::optional<std::string> Attribute(std::string_view attribute_name) const;
};

class XmlParser {
 public:
  virtual ~XmlParser() = default;
  // The root element of the document in `bytes` (UTF-8, or UTF-16 with its
  // byte-order mark); nullopt when the document is not well-formed, declares
  // a document type, or is larger than kMaxXmlBytes or kMaxXmlElements.
  [[nodiscard]] virtual std::optional<XmlElement> Parse(const std::string& bytes) = 0;
};

}  // namespace cu
