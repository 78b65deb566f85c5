// The DOM over pugixml. Elements created but not yet appended wait under a hidden staging
// node of their document, so appending moves the very node the caller holds.
#include "platform/xml/dom.h"

#include <pugixml.hpp>
#include <unordered_set>

#include "platform/com/com_error.h"
#include "platform/network/utf16.h"

namespace tamsel::platform::xml {

namespace {

// No path can name this element: its name is not an XML name.
constexpr const char* kStagingName = "\x01staging";

// Fragment mode keeps stray top-level text in the tree, so that it can be refused below. The
// declaration, comments and processing instructions are nodes of the document like any other
// and are written out again with it.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_fragment |
                                   pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi;
constexpr unsigned kWriteOptions = pugi::format_raw | pugi::format_no_declaration;

bool IsStaging(const pugi::xml_node& node) {
  return node.type() == pugi::node_element && std::string_view(node.name()) == kStagingName;
}

constexpr const char* kTooLarge = "The document is larger than the component accepts.";

[[noreturn]] void RaiseObjectNotSet() { throw com::ComError::Vb(com::kVbObjectNotSet); }

// Well-formedness beyond what the parser checks: exactly one top-level element, no character
// data beside it, and the declaration, if any, first.
bool HasSingleRoot(const pugi::xml_document& doc) {
  int elements = 0;
  for (const pugi::xml_node& child : doc.children()) {
    if (child.type() == pugi::node_element) ++elements;
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return false;
    if (child.type() == pugi::node_declaration && child != doc.first_child()) return false;
  }
  return elements == 1;
}

// The characters XML 1.0 allows: TAB, LF, CR, and U+0020 on, without U+FFFE and U+FFFF.
bool IsXmlChar(char32_t c) {
  if (c < 0x20) return c == 0x09 || c == 0x0A || c == 0x0D;
  return c != 0xFFFE && c != 0xFFFF;
}

// Text a document may hold: valid UTF-8 of characters XML allows.
bool IsXmlText(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte < 0x80) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    const char32_t c = network::DecodeUtf8(text, i);
    if (!IsXmlChar(c)) return false;
    if (c == network::kReplacementCharacter && text.substr(start, i - start) != "\xEF\xBF\xBD") {
      return false;
    }
  }
  return true;
}

// Attribute text as a well-formed document can hold it: invalid UTF-8 and characters XML
// forbids become U+FFFD.
std::string XmlSafeText(std::string_view text) {
  if (IsXmlText(text)) return std::string(text);
  std::string safe;
  const std::string valid = network::ToValidUtf8(text);
  for (std::size_t i = 0; i < valid.size();) {
    const char32_t c = network::DecodeUtf8(valid, i);
    network::AppendUtf8(safe, IsXmlChar(c) ? c : network::kReplacementCharacter);
  }
  return safe;
}

bool NodeTextIsXml(const pugi::xml_node& node) {
  if (!IsXmlText(node.name()) || !IsXmlText(node.value())) return false;
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    if (!IsXmlText(a.name()) || !IsXmlText(a.value())) return false;
  }
  return true;
}

bool HasUniqueAttributes(const pugi::xml_node& node, std::unordered_set<std::string_view>& seen) {
  seen.clear();
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    if (!seen.insert(a.name()).second) return false;
  }
  return true;
}

// One walk over the tree, without recursion, so that neither depth nor width of a hostile
// document costs more than its size: the reason a loaded tree is refused, or nullptr.
const char* TreeProblem(const pugi::xml_document& doc) {
  std::unordered_set<std::string_view> seen;
  std::size_t depth = 1;  // of `node`, the document element being at 1
  pugi::xml_node node = doc.first_child();
  while (node) {
    if (!NodeTextIsXml(node)) return "The document holds a character that XML does not allow.";
    if (node.type() == pugi::node_element) {
      if (depth > kMaxElementDepth) return "The document is nested too deeply.";
      if (!HasUniqueAttributes(node, seen)) return "Duplicate attribute.";
    }
    if (node.first_child()) {
      ++depth;
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) {
      node = node.parent();
      --depth;
      if (node == doc) return nullptr;
    }
    if (node) node = node.next_sibling();
  }
  return nullptr;
}

class StringWriter : public pugi::xml_writer {
 public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void write(const void* data, size_t size) override {
    out_.append(static_cast<const char*>(data), size);
  }

 private:
  std::string& out_;
};

}  // namespace

struct DocumentState {
  pugi::xml_document doc;
  std::uint64_t generation = 1;
  std::string parseError;

  // Resets after a failed or replaced load: every handle into the old tree becomes stale.
  void Clear() {
    doc.reset();
    ++generation;
  }

  bool Finish(const pugi::xml_parse_result& result) {
    const char* problem = nullptr;
    if (!result) {
      parseError = result.description();
    } else if (!HasSingleRoot(doc)) {
      parseError = "A document must contain exactly one top level element and no text beside it.";
    } else if ((problem = TreeProblem(doc)) != nullptr) {
      parseError = problem;
    } else {
      parseError.clear();
      return true;
    }
    Clear();
    return false;
  }

  // Text larger than any document the component exchanges is refused before it is parsed.
  bool Refuse(const char* reason) {
    Clear();
    parseError = reason;
    return false;
  }

  pugi::xml_node Staging() {
    for (pugi::xml_node child : doc.children()) {
      if (IsStaging(child)) return child;
    }
    return doc.append_child(kStagingName);
  }
};

// --- Element ---

Element::Element(std::shared_ptr<DocumentState> document, const pugi::xml_node& node)
    : document_(std::move(document)),
      node_(node.internal_object()),
      generation_(document_ ? document_->generation : 0) {}

bool Element::IsNothing() const {
  return !document_ || !node_ || generation_ != document_->generation;
}

void* Element::RawNode() const {
  if (IsNothing()) RaiseObjectNotSet();
  return node_;
}

static pugi::xml_node NodeOf(void* raw) {
  return pugi::xml_node(static_cast<pugi::xml_node_struct*>(raw));
}

std::string Element::NodeName() const { return NodeOf(RawNode()).name(); }

std::string Element::Text() const {
  std::string text;
  const pugi::xml_node top = NodeOf(RawNode());
  // Document order without recursion: descend first, else the next sibling of the nearest
  // ancestor below `top` that has one.
  pugi::xml_node node = top.first_child();
  while (node) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) text += node.value();
    if (node.type() == pugi::node_element && node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != top && !node.next_sibling()) node = node.parent();
    node = node == top ? pugi::xml_node() : node.next_sibling();
  }
  return text;
}

com::Variant Element::GetAttribute(std::string_view name) const {
  pugi::xml_attribute attribute = NodeOf(RawNode()).attribute(std::string(name).c_str());
  if (!attribute) return com::Variant::Null();
  return com::Variant(std::string(attribute.value()));
}

void Element::SetAttribute(std::string_view name, std::string_view value) {
  pugi::xml_node node = NodeOf(RawNode());
  std::string key(name);
  pugi::xml_attribute attribute = node.attribute(key.c_str());
  if (!attribute) attribute = node.append_attribute(key.c_str());
  attribute.set_value(XmlSafeText(value).c_str());
}

void Element::RemoveAttribute(std::string_view name) {
  NodeOf(RawNode()).remove_attribute(std::string(name).c_str());
}

struct DomAccess {
  static Element Make(const std::shared_ptr<DocumentState>& document, const pugi::xml_node& node) {
    return Element(document, node);
  }
};

namespace {

pugi::xpath_node_set Select(const pugi::xml_node& context, std::string_view path) {
  try {
    return context.select_nodes(std::string(path).c_str());
  } catch (const pugi::xpath_exception& error) {
    throw com::ComError(com::E_FAIL, "msxml", error.what());
  }
}

std::vector<Element> ElementsOf(const std::shared_ptr<DocumentState>& document,
                                const pugi::xpath_node_set& nodes, bool firstOnly) {
  std::vector<Element> result;
  for (const pugi::xpath_node& found : nodes) {
    pugi::xml_node node = found.node();
    if (!node || node.type() != pugi::node_element) continue;
    result.push_back(DomAccess::Make(document, node));
    if (firstOnly) break;
  }
  return result;
}

Element FirstOf(std::vector<Element> elements) {
  return elements.empty() ? Element() : std::move(elements.front());
}

}  // namespace

Element Element::SelectSingleNode(std::string_view path) const {
  pugi::xpath_node_set nodes = Select(NodeOf(RawNode()), path);
  nodes.sort();
  return FirstOf(ElementsOf(document_, nodes, true));
}

NodeList Element::SelectNodes(std::string_view path) const {
  pugi::xpath_node_set nodes = Select(NodeOf(RawNode()), path);
  nodes.sort();
  return NodeList(ElementsOf(document_, nodes, false));
}

Element Element::AppendChild(const Element& child) {
  pugi::xml_node parent = NodeOf(RawNode());
  pugi::xml_node node = NodeOf(child.RawNode());
  if (child.document_ != document_) {
    throw com::ComError(com::E_INVALIDARG, "msxml",
                        "The node to append belongs to another document.");
  }
  for (pugi::xml_node up = parent; up; up = up.parent()) {
    if (up == node) {
      throw com::ComError(com::E_FAIL, "msxml",
                          "This operation can not be performed with a "
                          "node that is an ancestor of this node.");
    }
  }
  parent.append_move(node);
  return child;
}

std::string Element::Xml() const {
  std::string out;
  StringWriter writer(out);
  NodeOf(RawNode()).print(writer, "", kWriteOptions);
  return out;
}

bool Element::operator==(const Element& other) const {
  if (IsNothing() || other.IsNothing()) return IsNothing() == other.IsNothing();
  return node_ == other.node_;
}

Element NodeList::Item(std::size_t index) const {
  return index < items_.size() ? items_[index] : Element();
}

// --- Document ---

Document::Document() : state_(std::make_shared<DocumentState>()) {}

bool Document::Load(const std::filesystem::path& file) {
  state_->Clear();
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (!error && size > kMaxDocumentBytes) return state_->Refuse(kTooLarge);
  return state_->Finish(state_->doc.load_file(file.c_str(), kParseOptions));
}

bool Document::LoadXml(std::string_view text) {
  state_->Clear();
  if (text.size() > kMaxDocumentBytes) return state_->Refuse(kTooLarge);
  // Text reaches the document as the multi-byte conversion leaves it.
  const std::string valid = network::ToValidUtf8(text);
  return state_->Finish(
      state_->doc.load_buffer(valid.data(), valid.size(), kParseOptions, pugi::encoding_utf8));
}

const std::string& Document::ParseErrorReason() const { return state_->parseError; }

Element Document::DocumentElement() const {
  for (const pugi::xml_node& child : state_->doc.children()) {
    if (child.type() == pugi::node_element && !IsStaging(child)) return Element(state_, child);
  }
  return Element();
}

Element Document::CreateElement(std::string_view name) {
  if (name.empty()) {
    throw com::ComError(com::E_FAIL, "msxml", "An element name may not be empty.");
  }
  return Element(state_, state_->Staging().append_child(std::string(name).c_str()));
}

std::string Document::Xml() const {
  std::string out;
  StringWriter writer(out);
  for (const pugi::xml_node& child : state_->doc.children()) {
    if (!IsStaging(child)) child.print(writer, "", kWriteOptions);
  }
  return out;
}

Element Document::SelectSingleNode(std::string_view path) const {
  pugi::xpath_node_set nodes = Select(state_->doc, path);
  nodes.sort();
  return FirstOf(ElementsOf(state_, nodes, true));
}

NodeList Document::SelectNodes(std::string_view path) const {
  pugi::xpath_node_set nodes = Select(state_->doc, path);
  nodes.sort();
  return NodeList(ElementsOf(state_, nodes, false));
}

}  // namespace tamsel::platform::xml
