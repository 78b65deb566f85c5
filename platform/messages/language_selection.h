// Which language of a message module FormatMessage uses for a requested language id, with the
// thread, user and system default languages it falls back on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/network/win32_error.h"

namespace tamsel::platform::messages {

using LANGID = std::uint16_t;

inline constexpr LANGID LANG_NEUTRAL = 0x00;
inline constexpr LANGID SUBLANG_NEUTRAL = 0x00;
inline constexpr LANGID SUBLANG_DEFAULT = 0x01;
inline constexpr LANGID SUBLANG_SYS_DEFAULT = 0x02;
inline constexpr LANGID LANG_USER_DEFAULT = 0x0400;
inline constexpr LANGID LANG_SYSTEM_DEFAULT = 0x0800;
inline constexpr LANGID LANG_ENGLISH_US = 0x0409;

constexpr LANGID MAKELANGID(LANGID primary, LANGID sub) {
  return static_cast<LANGID>((sub << 10) | primary);
}
constexpr LANGID PRIMARYLANGID(LANGID id) { return id & 0x3FF; }
constexpr LANGID SUBLANGID(LANGID id) { return id >> 10; }

// The thread's UI language (0 = none set, the thread follows the user default). Per thread.
LANGID GetThreadUILanguage();
void SetThreadUILanguage(LANGID language);
// The platform runs in US English.
LANGID GetUserDefaultUILanguage();
LANGID GetSystemDefaultUILanguage();

// Picks one of `available` (a module's languages, in stored order) for `requested`:
//  - 0: neutral, thread, user default, system default, US English, then any language;
//  - primary language neutral (0x0400, 0x0800, ...): the id itself, neutral, then (unless the
//    sublanguage is SUBLANG_SYS_DEFAULT) the thread and user default languages, the system
//    default, each also with its sublanguage neutral, then US English, then the first present;
//  - a specific language: that id, the same primary language with neutral sublanguage, then
//    the neutral entry 0x0000.
// ERROR_RESOURCE_LANG_NOT_FOUND when nothing fits (or `available` is empty).
Win32Error SelectLanguage(std::span<const LANGID> available, std::uint32_t requested,
                          std::size_t& index);

}  // namespace tamsel::platform::messages
