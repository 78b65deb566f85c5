// Test support: .evtx files written byte by byte, independently of the service's own writer.
// A template is a small element tree; a chunk places names and template definitions inline
// at their first use and refers back to them afterwards, as Windows does.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/eventlog/evtx_format.h"

namespace tamsel::platform::eventlog::evtx::testsupport {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Utf16(const std::string& ascii) {
  Bytes out;
  for (char c : ascii) out.insert(out.end(), {static_cast<std::uint8_t>(c), 0});
  return out;
}

struct TestValue {
  std::uint8_t type = 0;
  Bytes bytes;
};

template <typename T>
TestValue Number(std::uint8_t type, T number) {
  TestValue value{type, Bytes(sizeof(T))};
  std::memcpy(value.bytes.data(), &number, sizeof(T));
  return value;
}
inline TestValue Text(const std::string& ascii) { return {0x01, Utf16(ascii)}; }
inline TestValue Null() { return {0x00, {}}; }

struct Node;
// One token of element or attribute content.
struct Content {
  enum Kind { kText, kSubstitution, kOptional, kElement, kCharRef, kEntity } kind = kText;
  std::string text;  // kText; entity name for kEntity
  std::uint16_t index = 0;
  std::uint8_t type = 0;
  std::shared_ptr<Node> element;
};

using Attributes = std::vector<std::pair<std::string, std::vector<Content>>>;

struct Node {
  Node() = default;
  Node(std::string name, Attributes attributes = {}, std::vector<Content> content = {},
       std::uint16_t dependency = 0xFFFF)
      : name(std::move(name)),
        attributes(std::move(attributes)),
        content(std::move(content)),
        dependency(dependency) {}
  std::string name;
  Attributes attributes;
  std::vector<Content> content;
  std::uint16_t dependency = 0xFFFF;
  bool empty = false;  // written as <name .../> when there is no content
};

inline Content Token(Content::Kind kind, const std::string& text = "", std::uint16_t index = 0,
                     std::uint8_t type = 0) {
  Content content;
  content.kind = kind;
  content.text = text;
  content.index = index;
  content.type = type;
  return content;
}
inline Content Lit(const std::string& text) { return Token(Content::kText, text); }
inline Content Entity(const std::string& name) { return Token(Content::kEntity, name); }
inline Content Sub(std::uint16_t index, std::uint8_t type) {
  return Token(Content::kSubstitution, "", index, type);
}
inline Content Opt(std::uint16_t index, std::uint8_t type) {
  return Token(Content::kOptional, "", index, type);
}
inline Content Child(Node node) {
  Content content = Token(Content::kElement);
  content.element = std::make_shared<Node>(std::move(node));
  return content;
}

class ChunkBuilder {
 public:
  explicit ChunkBuilder(std::uint64_t firstNumber = 1) : bytes_(kChunkSize, 0) {
    std::memcpy(bytes_.data(), kChunkSignature.data(), kChunkSignature.size());
    Put32(&bytes_[chunk_field::kHeaderSize], kChunkHeaderSize);
    firstNumber_ = firstNumber;
  }

  // A record whose event is an instance of template `key` (defined inline the first time).
  void AddRecord(std::uint64_t id, std::uint64_t written, const std::string& key, const Node& root,
                 const std::vector<TestValue>& values) {
    Bytes stream = {0x0F, 0x01, 0x01, 0x00};
    Instance(stream, pos_ + kRecordHeaderSize, key, root, values);
    stream.push_back(0x00);
    AddStream(id, written, stream);
  }

  // A record whose elements are written straight into its stream.
  void AddPlainRecord(std::uint64_t id, std::uint64_t written, const Node& root) {
    Bytes stream = {0x0F, 0x01, 0x01, 0x00};
    Element(stream, pos_ + kRecordHeaderSize, root, false);
    stream.push_back(0x00);
    AddStream(id, written, stream);
  }

  // A binary XML value: an instance of a template this chunk already defines.
  Bytes NestedInstance(const std::string& key, const std::vector<TestValue>& values) {
    Bytes stream = {0x0F, 0x01, 0x01, 0x00};
    Instance(stream, 0xFFFFFF, key, Node{}, values);
    stream.push_back(0x00);
    return stream;
  }

  // An instance whose definition offset points at `offset` (which holds no definition).
  void AddRecordWithTemplateAt(std::uint64_t id, std::uint32_t offset) {
    Bytes stream = {0x0F, 0x01, 0x01, 0x00, 0x0C, 0x01, 1, 2, 3, 4};
    Append32(stream, offset);
    Append32(stream, 0);
    stream.push_back(0x00);
    AddStream(id, 0, stream);
  }

  std::uint32_t RecordOffset(std::size_t index) const { return recordOffsets_[index]; }
  std::uint32_t FreeSpace() const { return pos_; }

  // The chunk with its counters and checksums.
  Bytes Finish() {
    std::uint8_t* at = bytes_.data();
    std::uint64_t count = recordOffsets_.size();
    Put64(at + chunk_field::kFirstNumber, firstNumber_);
    Put64(at + chunk_field::kLastNumber, firstNumber_ + count - 1);
    Put64(at + chunk_field::kFirstId, firstId_);
    Put64(at + chunk_field::kLastId, lastId_);
    Put32(at + chunk_field::kLastRecordOffset, count ? recordOffsets_.back() : 0);
    Put32(at + chunk_field::kFreeSpaceOffset, pos_);
    Put32(at + chunk_field::kDataChecksum,
          Crc32(at + kFirstRecordOffset, pos_ - kFirstRecordOffset));
    Put32(at + chunk_field::kHeaderChecksum, ChunkHeaderChecksum(at));
    return bytes_;
  }

 private:
  static void Append32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  static void Append16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
  }

  void AddStream(std::uint64_t id, std::uint64_t written, const Bytes& stream) {
    std::uint32_t size = (kRecordHeaderSize + stream.size() + 4 + 7) / 8 * 8;
    std::uint8_t* at = bytes_.data() + pos_;
    Put32(at, kRecordSignature);
    Put32(at + 4, size);
    Put64(at + 8, id);
    Put64(at + 16, written);
    std::memcpy(at + kRecordHeaderSize, stream.data(), stream.size());
    Put32(at + size - 4, size);
    if (recordOffsets_.empty()) firstId_ = id;
    lastId_ = id;
    recordOffsets_.push_back(pos_);
    pos_ += size;
  }

  // `base` is the chunk offset at which `out` starts.
  void Name(Bytes& out, std::uint32_t base, const std::string& name) {
    auto known = names_.find(name);
    if (known != names_.end()) {
      Append32(out, known->second);
      return;
    }
    std::uint32_t offset = base + static_cast<std::uint32_t>(out.size()) + 4;
    names_[name] = offset;
    Append32(out, offset);
    Bytes units = Utf16(name);
    Append32(out, 0);
    Append16(out, NameHash(units.data(), name.size()));
    Append16(out, static_cast<std::uint16_t>(name.size()));
    out.insert(out.end(), units.begin(), units.end());
    Append16(out, 0);
  }

  void Contents(Bytes& out, std::uint32_t base, const std::vector<Content>& contents, bool deps) {
    for (const Content& item : contents) {
      switch (item.kind) {
        case Content::kText: {
          out.push_back(0x05);
          out.push_back(0x01);
          Append16(out, static_cast<std::uint16_t>(item.text.size()));
          Bytes units = Utf16(item.text);
          out.insert(out.end(), units.begin(), units.end());
          break;
        }
        case Content::kSubstitution:
        case Content::kOptional:
          out.push_back(item.kind == Content::kSubstitution ? 0x0D : 0x0E);
          Append16(out, item.index);
          out.push_back(item.type);
          break;
        case Content::kElement:
          Element(out, base, *item.element, deps);
          break;
        case Content::kCharRef:
          out.push_back(0x08);
          Append16(out, item.index);
          break;
        case Content::kEntity:
          out.push_back(0x09);
          Name(out, base, item.text);
          break;
      }
    }
  }

  void Element(Bytes& out, std::uint32_t base, const Node& node, bool deps) {
    out.push_back(node.attributes.empty() ? 0x01 : 0x41);
    if (deps) Append16(out, node.dependency);
    std::size_t sizeAt = out.size();
    Append32(out, 0);
    Name(out, base, node.name);
    if (!node.attributes.empty()) {
      std::size_t listAt = out.size();
      Append32(out, 0);
      for (std::size_t i = 0; i < node.attributes.size(); ++i) {
        out.push_back(i + 1 < node.attributes.size() ? 0x46 : 0x06);
        Name(out, base, node.attributes[i].first);
        Contents(out, base, node.attributes[i].second, deps);
      }
      Put32(&out[listAt], static_cast<std::uint32_t>(out.size() - listAt - 4));
    }
    if (node.empty && node.content.empty()) {
      out.push_back(0x03);
    } else {
      out.push_back(0x02);
      Contents(out, base, node.content, deps);
      out.push_back(0x04);
    }
    Put32(&out[sizeAt], static_cast<std::uint32_t>(out.size() - sizeAt - 4));
  }

  void Instance(Bytes& out, std::uint32_t base, const std::string& key, const Node& root,
                const std::vector<TestValue>& values) {
    out.insert(out.end(), {0x0C, 0x01});
    auto known = templates_.find(key);
    std::uint32_t here = base + static_cast<std::uint32_t>(out.size()) + 8;
    std::uint32_t offset = known != templates_.end() ? known->second : here;
    Append32(out, 0x1A2B3C4D + static_cast<std::uint32_t>(templates_.size()));
    Append32(out, offset);
    if (known == templates_.end()) {
      templates_[key] = offset;
      Append32(out, 0);  // next definition
      for (int i = 0; i < 16; ++i) out.push_back(static_cast<std::uint8_t>(0x40 + i));
      std::size_t sizeAt = out.size();
      Append32(out, 0);
      out.insert(out.end(), {0x0F, 0x01, 0x01, 0x00});
      Element(out, base, root, true);
      out.push_back(0x00);
      Put32(&out[sizeAt], static_cast<std::uint32_t>(out.size() - sizeAt - 4));
    }
    Append32(out, static_cast<std::uint32_t>(values.size()));
    for (const TestValue& value : values) {
      Append16(out, static_cast<std::uint16_t>(value.bytes.size()));
      out.push_back(value.type);
      out.push_back(0);
    }
    for (const TestValue& value : values)
      out.insert(out.end(), value.bytes.begin(), value.bytes.end());
  }

  Bytes bytes_;
  std::uint32_t pos_ = kFirstRecordOffset;
  std::uint64_t firstNumber_ = 1;
  std::uint64_t firstId_ = 0;
  std::uint64_t lastId_ = 0;
  std::vector<std::uint32_t> recordOffsets_;
  std::map<std::string, std::uint32_t> names_;
  std::map<std::string, std::uint32_t> templates_;
};

// A file of the given chunks behind a header that names them.
inline Bytes EvtxFile(const std::vector<Bytes>& chunks, std::uint32_t flags = 0,
                      std::uint64_t nextId = 0) {
  auto header = EncodeFileHeader(0, chunks.empty() ? 0 : chunks.size() - 1, nextId,
                                 static_cast<std::uint16_t>(chunks.size()), flags);
  Bytes file(kFileHeaderBlock, 0);
  std::memcpy(file.data(), header.data(), header.size());
  for (const Bytes& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
  return file;
}

}  // namespace tamsel::platform::eventlog::evtx::testsupport
