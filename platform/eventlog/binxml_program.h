// A binary XML fragment (a template definition, or elements written straight into a record)
// compiled once into the few things the classic record takes from an event: which text,
// attribute or substitution fills the event id, level, task, keywords, times, computer, user,
// source, insertion strings and binary data. Running it against a template instance's values
// needs no second walk over the XML.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tamsel::platform::eventlog::evtx {

// Where a piece of the event stands, as far as the classic record cares.
enum class Context : std::uint8_t { kTop, kSystem, kEventData, kUserData, kIgnored };

enum class Role : std::uint8_t {
  kNone,
  kProviderName,
  kSourceName,
  kEventId,
  kQualifiers,
  kLevel,
  kTask,
  kKeywords,
  kTimeCreated,
  kComputer,
  kUserId,
  kString,         // one insertion string (per item of an array)
  kBinary,         // EventData/Binary
  kPayloadBinary,  // BinaryEventData
  kNested,         // content that matters only when a substitution brings nested binary XML
};

inline constexpr std::int32_t kNoSubstitution = -1;

// Literal text, or a substitution by index into the instance's values.
struct Piece {
  std::string literal;
  std::int32_t substitution = kNoSubstitution;
  bool optional = false;
};

// One element's text or one attribute's value that the classic record uses.
struct Slot {
  Role role = Role::kNone;
  Context context = Context::kIgnored;      // where nested binary XML in it would stand
  bool element = false;                     // element text repeats per array item
  std::vector<std::uint16_t> dependencies;  // the element is left out when one of them is Null
  std::vector<Piece> pieces;
};

struct Program {
  std::vector<Slot> slots;  // in document order
};

inline constexpr int kMaxElementDepth = 256;

// Compiles the tokens at chunk[begin, end): an optional fragment header and processing
// instructions, then one element. `dependencyIds` says whether element starts carry them
// (they do inside template definitions). Names are read at their chunk-relative offsets.
// On success `stop` is where the element ended. False when the tokens are malformed.
bool CompileFragment(std::span<const std::uint8_t> chunk, std::uint32_t begin, std::uint32_t end,
                     bool dependencyIds, Context context, Program& program, std::uint32_t& stop);

}  // namespace tamsel::platform::eventlog::evtx
