// Finds the RT_MESSAGETABLE resource of a PE32 or PE32+ file: headers, section table, and
// the type / name / language levels of the resource tree, every offset checked.
#pragma once

#include "platform/messages/byte_source.h"
#include "platform/messages/module_tables.h"

namespace tamsel::platform::messages {

inline constexpr std::uint16_t RT_MESSAGETABLE = 11;

// Reads the message tables (resource name 1, every language) of the PE image in `source`.
// Returns ERROR_BAD_EXE_FORMAT for headers that are not a sound PE image and
// ERROR_RESOURCE_DATA_NOT_FOUND for a resource tree or message table that is corrupt (offsets
// out of range, a directory that leads back to itself, a leaf where a directory belongs).
// A sound image without a message table loads; `tables.missing` then says what was missing.
Win32Error ReadPeMessageTables(const ByteSource& source, ModuleTables& tables);

}  // namespace tamsel::platform::messages
