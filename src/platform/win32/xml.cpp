#include "platform/win32/win32_handles.h"
#include "platform/win32/win32_platform.h"

#include <shlwapi.h>
#include <xmllite.h>

#include <algorithm>
#include <string_view>

namespace cu::win32 {
namespace {

// Deeper documents are refused: the tree is freed recursively.
constexpr std::size_t kMaxDepth = 256;

std::string Text(const wchar_t* text, UINT length) {
  return text ? ToCodePage(text, length) : std::string();
}

// Namespace declarations are not attributes of the element's data.
bool IsNamespaceDeclaration(const wchar_t* name, UINT length) {
  const std::wstring_view qualified(name ? name : L"", name ? length : 0);
  return qualified == L"xmlns" || qualified.substr(0, 6) == L"xmlns:";
}

// The current element's local name and attributes, the reader left on the
// element again.
bool ReadElement(IXmlReader& reader, XmlElement& element) {
  const wchar_t* name = nullptr;
  UINT length = 0;
  if (FAILED(reader.GetLocalName(&name, &length))) return false;
  element.name = Text(name, length);
  for (HRESULT hr = reader.MoveToFirstAttribute(); hr == S_OK; hr = reader.MoveToNextAttribute()) {
    const wchar_t* qualified = nullptr;
    UINT qualified_length = 0;
    if (FAILED(reader.GetQualifiedName(&qualified, &qualified_length))) return false;
    if (IsNamespaceDeclaration(qualified, qualified_length)) continue;
    const wchar_t* value = nullptr;
    UINT value_length = 0;
    if (FAILED(reader.GetLocalName(&name, &length)) || FAILED(reader.GetValue(&value, &value_length))) {
      return false;
    }
    element.attributes.emplace_back(Text(name, length), Text(value, value_length));
  }
  return SUCCEEDED(reader.MoveToElement());
}

}  // namespace

std::optional<XmlElement> Win32XmlParser::Parse(const std::string& bytes) {
  if (bytes.size() > kMaxXmlBytes) return std::nullopt;
  ComPtr<IStream> stream;
  *stream.receive() =
      ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  ComPtr<IXmlReader> reader;
  if (!stream || FAILED(::CreateXmlReader(__uuidof(IXmlReader), reader.receive(), nullptr)) ||
      FAILED(reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
      FAILED(reader->SetInput(stream.get()))) {
    return std::nullopt;
  }

  // Each node the reader gives takes at least one character of the input, so
  // a reader still answering after that many nodes is going round in circles
  // (Wine's does on a document cut inside an element). Real documents also
  // stay far below several nodes per element.
  const std::size_t max_reads = std::min(bytes.size() + 1, kMaxXmlElements * 8);
  std::optional<XmlElement> root;
  std::vector<XmlElement*> open;  // the root first; ancestors never move while open
  std::size_t elements = 0;
  std::size_t reads = 0;
  for (;;) {
    XmlNodeType type = XmlNodeType_None;
    const HRESULT hr = reader->Read(&type);
    if (hr == S_FALSE) break;  // the end of the document
    if (hr != S_OK || ++reads > max_reads) return std::nullopt;
    switch (type) {
      case XmlNodeType_Element: {
        if (++elements > kMaxXmlElements || open.size() > kMaxDepth) return std::nullopt;
        XmlElement* element = nullptr;
        if (open.empty()) {
          if (root) return std::nullopt;  // a second root
          element = &root.emplace();
        } else {
          element = &open.back()->children.emplace_back();
        }
        if (!ReadElement(*reader.get(), *element)) return std::nullopt;
        if (!reader->IsEmptyElement()) open.push_back(element);
        break;
      }
      case XmlNodeType_EndElement:
        if (open.empty()) return std::nullopt;
        open.pop_back();
        break;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA:
      case XmlNodeType_Whitespace: {
        if (open.empty()) break;  // blanks around the root
        const wchar_t* value = nullptr;
        UINT length = 0;
        if (FAILED(reader->GetValue(&value, &length))) return std::nullopt;
        open.back()->text += Text(value, length);
        break;
      }
      case XmlNodeType_DocumentType:
        return std::nullopt;  // refused by the property already; never read one
      default:
        break;  // declaration, comments, processing instructions
    }
  }
  if (!root || !open.empty()) return std::nullopt;
  return root;
}

}  // namespace cu::win32
