// The DOM the component works with, in the shape of the automation DOM it was written for:
// documents loaded synchronously from files or text, elements, attributes and path selection.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"

namespace pugi {
class xml_node;
}

namespace tamsel::platform::xml {

struct DocumentState;
class NodeList;

// A handle to an element of a document, or Nothing. Handles keep their document alive. Every
// operation on Nothing, or on a handle whose document was reloaded since, raises error 91
// ("Object variable or With block variable not set"), as a use of an unset object does.
class Element {
 public:
  Element() = default;  // Nothing

  bool IsNothing() const;
  explicit operator bool() const { return !IsNothing(); }

  std::string NodeName() const;
  // The concatenated text content of the element and its descendants.
  std::string Text() const;

  // The attribute's text, or a NULL Variant when the element has no such attribute.
  com::Variant GetAttribute(std::string_view name) const;
  // Adds the attribute at the end, or replaces the value of an existing one in place. Invalid
  // UTF-8 and characters XML forbids become U+FFFD, so the document's text stays well-formed.
  void SetAttribute(std::string_view name, std::string_view value);
  void RemoveAttribute(std::string_view name);

  // Path selection with this element as the context node. Nothing / an empty list when
  // nothing matches; a malformed path raises E_FAIL with the parser's message.
  Element SelectSingleNode(std::string_view path) const;
  NodeList SelectNodes(std::string_view path) const;

  // Moves `child` (a new element of the same document, or one already in the tree) to the
  // end of this element's children and returns it.
  Element AppendChild(const Element& child);

  // The element's XML text.
  std::string Xml() const;

  bool operator==(const Element& other) const;

 private:
  friend class Document;
  friend struct DomAccess;
  Element(std::shared_ptr<DocumentState> document, const pugi::xml_node& node);
  void* RawNode() const;  // the live pugi node; raises 91 when unusable

  std::shared_ptr<DocumentState> document_;
  void* node_ = nullptr;  // pugi::xml_node_struct*
  std::uint64_t generation_ = 0;
};

// The result of SelectNodes, in document order.
class NodeList {
 public:
  NodeList() = default;
  explicit NodeList(std::vector<Element> items) : items_(std::move(items)) {}

  std::size_t Length() const { return items_.size(); }
  // Nothing past the end, as the DOM answers.
  Element Item(std::size_t index) const;

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<Element> items_;
};

// Bounds of what loads, so that a hostile document costs time and memory in proportion to
// its size and never exhausts the stack: deeper nesting or longer text fails the load as
// text that is not well-formed does.
inline constexpr std::size_t kMaxElementDepth = 512;
inline constexpr std::size_t kMaxDocumentBytes = std::size_t{64} << 20;

class Document {
 public:
  Document();

  // Loads synchronously. False when the file is missing, unreadable, not well-formed XML
  // (a character XML forbids, even as a reference, included) or beyond the bounds above; the
  // document is then empty (no document element). The XML declaration, comments and
  // processing instructions stay in the document and in its text. Invalid UTF-8 in `text`
  // reads as U+FFFD, as the multi-byte conversion gives it.
  bool Load(const std::filesystem::path& file);
  bool LoadXml(std::string_view text);

  // The text of the last failed load ("" after a success).
  const std::string& ParseErrorReason() const;

  // Nothing when the document has no element (empty, or a load failed).
  Element DocumentElement() const;

  // A new element belonging to this document but not yet in its tree.
  Element CreateElement(std::string_view name);

  // The document's XML text as written out compactly, with no XML declaration added (one the
  // loaded text had stays): "<USERLIST><USER AppUserID=\"1\"/></USERLIST>".
  std::string Xml() const;

  // Selection with the document node as context.
  Element SelectSingleNode(std::string_view path) const;
  NodeList SelectNodes(std::string_view path) const;

 private:
  std::shared_ptr<DocumentState> state_;
};

}  // namespace tamsel::platform::xml
