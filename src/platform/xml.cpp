#include "platform/xml.h"

namespace cu {

const XmlElement* XmlElement::Child(std::string_view child_name) const {
  for (const XmlElement& child : children) {
    if (child.name == child_name) return &child;
  }
  return nullptr;
}

std::string XmlElement::ChildText(std::string_view child_name) const {
  const XmlElement* child = Child(child_name);
  return child ? child->text : std::string();
}

std::optional<std::string> XmlElement::Attribute(std::string_view attribute_name) const {
  for (const auto& [name, value] : attributes) {
    if (name == attribute_name) return value;
  }
  return std::nullopt;
}

}  // namespace cu
