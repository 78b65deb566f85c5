// The binary XML token walk that compiles a fragment into slots for the classic record.
#include "platform/eventlog/binxml_program.h"

#include <algorithm>
#include <string_view>

#include "platform/eventlog/binxml_values.h"
#include "platform/eventlog/evtx_format.h"
#include "platform/network/utf16.h"

namespace tamsel::platform::eventlog::evtx {

namespace {

constexpr std::uint8_t kOpenStart = 0x01;
constexpr std::uint8_t kCloseStart = 0x02;
constexpr std::uint8_t kCloseEmpty = 0x03;
constexpr std::uint8_t kEndElement = 0x04;
constexpr std::uint8_t kValue = 0x05;
constexpr std::uint8_t kAttribute = 0x06;
constexpr std::uint8_t kCData = 0x07;
constexpr std::uint8_t kCharRef = 0x08;
constexpr std::uint8_t kEntityRef = 0x09;
constexpr std::uint8_t kPiTarget = 0x0A;
constexpr std::uint8_t kPiData = 0x0B;
constexpr std::uint8_t kNormalSubstitution = 0x0D;
constexpr std::uint8_t kOptionalSubstitution = 0x0E;
constexpr std::uint8_t kFragmentHeader = 0x0F;
constexpr std::uint8_t kMoreFlag = 0x40;
constexpr std::uint16_t kNoDependency = 0xFFFF;

struct Placement {
  Context children = Context::kIgnored;
  Role text = Role::kNone;
};

Placement PlaceElement(Context parent, std::string_view name) {
  switch (parent) {
    case Context::kTop:
      if (name == "Event") return {Context::kTop, Role::kNone};
      if (name == "System") return {Context::kSystem, Role::kNone};
      if (name == "EventData") return {Context::kEventData, Role::kNested};
      if (name == "UserData") return {Context::kUserData, Role::kNested};
      if (name == "BinaryEventData") return {Context::kIgnored, Role::kPayloadBinary};
      [[fallthrough]];  // system fields written straight under the root are read as well
    case Context::kSystem:
      if (name == "EventID") return {Context::kIgnored, Role::kEventId};
      if (name == "Level") return {Context::kIgnored, Role::kLevel};
      if (name == "Task") return {Context::kIgnored, Role::kTask};
      if (name == "Keywords") return {Context::kIgnored, Role::kKeywords};
      if (name == "Computer") return {Context::kIgnored, Role::kComputer};
      return {};
    case Context::kEventData:
      if (name == "Data") return {Context::kIgnored, Role::kString};
      if (name == "Binary") return {Context::kIgnored, Role::kBinary};
      return {Context::kEventData, Role::kNested};
    case Context::kUserData:
      // Every leaf's text is one string; an element with children only passes nested XML on.
      return {Context::kUserData, Role::kString};
    case Context::kIgnored:
      return {};
  }
  return {};
}

Role PlaceAttribute(Context parent, std::string_view element, std::string_view name) {
  if (parent == Context::kSystem || parent == Context::kTop) {
    if (element == "Provider" && name == "Name") return Role::kProviderName;
    if (element == "Provider" && name == "EventSourceName") return Role::kSourceName;
    if (element == "EventID" && name == "Qualifiers") return Role::kQualifiers;
    if (element == "TimeCreated" && name == "SystemTime") return Role::kTimeCreated;
    if (element == "Security" && name == "UserID") return Role::kUserId;
    return Role::kNone;
  }
  if (parent == Context::kUserData && name != "xmlns" && !name.starts_with("xmlns:")) {
    return Role::kString;
  }
  return Role::kNone;
}

std::string_view EntityText(std::string_view name) {
  if (name == "lt") return "<";
  if (name == "gt") return ">";
  if (name == "amp") return "&";
  if (name == "quot") return "\"";
  if (name == "apos") return "'";
  return {};
}

class Compiler {
 public:
  Compiler(std::span<const std::uint8_t> chunk, std::uint32_t begin, std::uint32_t end,
           bool dependencyIds, Program& program)
      : bytes_(chunk.data()),
        pos_(begin),
        end_(std::min<std::uint64_t>(end, chunk.size())),
        dependencyIds_(dependencyIds),
        program_(program) {}

  bool Fragment(Context context, std::uint32_t& stop) {
    while (Has(1)) {
      std::uint8_t token = bytes_[pos_];
      if (token == kFragmentHeader) {
        if (!Has(4)) return false;
        pos_ += 4;
      } else if (token == kPiTarget || token == kPiData) {
        if (!SkipProcessingInstruction()) return false;
      } else if ((token & ~kMoreFlag) == kOpenStart) {
        if (!Element(context, 0)) return false;
        stop = pos_;
        return true;
      } else {
        return false;
      }
    }
    return false;
  }

 private:
  bool Has(std::uint64_t count) const { return pos_ + count <= end_; }

  bool ReadName(std::string& name) {
    if (!Has(4)) return false;
    std::uint32_t offset = U32(bytes_ + pos_);
    pos_ += 4;
    std::uint64_t limit = end_;
    if (offset == pos_) {
      if (!Has(8)) return false;
    } else if (offset >= pos_) {
      return false;  // names are defined before they are referred to
    }
    if (offset + 8ULL > limit) return false;
    std::uint32_t count = U16(bytes_ + offset + 6);
    std::uint64_t size = 10ULL + 2ULL * count;
    if (offset + size > limit) return false;
    name.clear();
    AppendUtf16(bytes_ + offset + 8, count, name);
    if (offset == pos_) pos_ += static_cast<std::uint32_t>(size);
    return true;
  }

  bool SkipProcessingInstruction() {
    std::uint8_t token = bytes_[pos_++];
    if (token == kPiTarget) {
      std::string ignored;
      return ReadName(ignored);
    }
    if (!Has(2)) return false;
    std::uint32_t count = U16(bytes_ + pos_);
    if (!Has(2 + 2ULL * count)) return false;
    pos_ += 2 + 2 * count;
    return true;
  }

  // A text, character, entity or substitution token into `slot`; false for other tokens.
  bool Piece(Slot* slot, bool& handled) {
    handled = true;
    std::uint8_t token = bytes_[pos_] & ~kMoreFlag;
    if (token == kValue || token == kCData) {
      std::uint32_t header = token == kValue ? 4 : 3;
      if (!Has(header)) return false;
      std::uint32_t count = U16(bytes_ + pos_ + header - 2);
      if (!Has(header + 2ULL * count)) return false;
      if (slot) AppendLiteral(*slot, bytes_ + pos_ + header, count);
      pos_ += header + 2 * count;
    } else if (token == kCharRef) {
      if (!Has(3)) return false;
      if (slot) {
        std::string text;
        network::AppendUtf8(text, U16(bytes_ + pos_ + 1));
        Literal(*slot).append(text);
      }
      pos_ += 3;
    } else if (token == kEntityRef) {
      ++pos_;
      std::string name;
      if (!ReadName(name)) return false;
      if (slot) Literal(*slot).append(EntityText(name));
    } else if (bytes_[pos_] == kNormalSubstitution || bytes_[pos_] == kOptionalSubstitution) {
      if (!Has(4)) return false;
      if (slot) {
        evtx::Piece piece;
        piece.substitution = U16(bytes_ + pos_ + 1);
        piece.optional = bytes_[pos_] == kOptionalSubstitution;
        slot->pieces.push_back(std::move(piece));
      }
      pos_ += 4;
    } else {
      handled = false;
    }
    return true;
  }

  static std::string& Literal(Slot& slot) {
    if (slot.pieces.empty() || slot.pieces.back().substitution != kNoSubstitution) {
      slot.pieces.emplace_back();
    }
    return slot.pieces.back().literal;
  }

  static void AppendLiteral(Slot& slot, const std::uint8_t* units, std::uint32_t count) {
    std::string& text = Literal(slot);
    // Literal text keeps its trailing NULs out, like values.
    AppendUtf16(units, count, text);
  }

  bool Attributes(Context parent, const std::string& element, const Slot& owner) {
    if (!Has(4)) return false;
    std::uint64_t listEnd = pos_ + 4ULL + U32(bytes_ + pos_);
    pos_ += 4;
    if (listEnd > end_) return false;
    std::string name;
    while (pos_ < listEnd && (bytes_[pos_] & ~kMoreFlag) == kAttribute) {
      ++pos_;
      if (!ReadName(name)) return false;
      Slot slot;
      slot.role = PlaceAttribute(parent, element, name);
      slot.context = owner.context;
      slot.dependencies = owner.dependencies;
      Slot* target = slot.role == Role::kNone ? nullptr : &slot;
      while (Has(1)) {
        std::uint8_t token = bytes_[pos_];
        if ((token & ~kMoreFlag) == kAttribute || token == kCloseStart || token == kCloseEmpty) {
          break;
        }
        bool handled = false;
        if (!Piece(target, handled) || !handled) return false;
      }
      if (target) program_.slots.push_back(std::move(slot));
    }
    return pos_ == listEnd;
  }

  bool Element(Context parent, int depth) {
    if (depth >= kMaxElementDepth) return false;
    bool hasAttributes = (bytes_[pos_] & kMoreFlag) != 0;
    ++pos_;
    std::uint16_t dependency = kNoDependency;
    if (dependencyIds_) {
      if (!Has(2)) return false;
      dependency = U16(bytes_ + pos_);
      pos_ += 2;
    }
    if (!Has(4)) return false;
    pos_ += 4;  // the element's data size: the tokens themselves say where it ends
    std::string name;
    if (!ReadName(name)) return false;
    Placement placement = PlaceElement(parent, name);
    if (dependency != kNoDependency) dependencies_.push_back(dependency);
    Slot text;
    text.role = placement.text;
    text.context = placement.children;
    text.element = true;
    text.dependencies = dependencies_;
    bool ok = (!hasAttributes || Attributes(parent, name, text)) && Has(1);
    if (ok) ok = Body(placement, depth, text);
    if (dependency != kNoDependency) dependencies_.pop_back();
    return ok;
  }

  bool Body(const Placement& placement, int depth, Slot& text) {
    std::uint8_t token = bytes_[pos_++];
    if (token == kCloseEmpty) {
      if (text.role != Role::kNested && text.role != Role::kNone) {
        program_.slots.push_back(std::move(text));
      }
      return true;
    }
    if (token != kCloseStart) return false;
    std::size_t index = program_.slots.size();
    program_.slots.push_back(std::move(text));
    bool children = false;
    while (Has(1)) {
      std::uint8_t next = bytes_[pos_];
      if (next == kEndElement) {
        ++pos_;
        Finish(program_.slots[index], children);
        return true;
      }
      if ((next & ~kMoreFlag) == kOpenStart) {
        children = true;
        if (!Element(placement.children, depth + 1)) return false;
        continue;
      }
      if (next == kPiTarget || next == kPiData) {
        if (!SkipProcessingInstruction()) return false;
        continue;
      }
      // Slots may move while children are added; take the address afresh.
      bool handled = false;
      if (!Piece(&program_.slots[index], handled) || !handled) return false;
    }
    return false;
  }

  // An element with children keeps only what nested binary XML may bring.
  static void Finish(Slot& slot, bool children) {
    if (children && slot.role == Role::kString) slot.role = Role::kNested;
    if (slot.role == Role::kNested) {
      std::erase_if(slot.pieces,
                    [](const evtx::Piece& piece) { return piece.substitution == kNoSubstitution; });
      if (slot.pieces.empty()) slot.role = Role::kNone;
    }
  }

  const std::uint8_t* bytes_;
  std::uint32_t pos_;
  std::uint64_t end_;
  bool dependencyIds_;
  Program& program_;
  std::vector<std::uint16_t> dependencies_;
};

}  // namespace

bool CompileFragment(std::span<const std::uint8_t> chunk, std::uint32_t begin, std::uint32_t end,
                     bool dependencyIds, Context context, Program& program, std::uint32_t& stop) {
  program.slots.clear();
  Compiler compiler(chunk, begin, end, dependencyIds, program);
  if (!compiler.Fragment(context, stop)) return false;
  std::erase_if(program.slots, [](const Slot& slot) { return slot.role == Role::kNone; });
  return true;
}

}  // namespace tamsel::platform::eventlog::evtx
