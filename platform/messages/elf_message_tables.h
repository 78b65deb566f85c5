// Our own executables and libraries carry their message tables in an ELF section of their own,
// so a program can name itself as an event message file. This reads that section.
#pragma once

#include <cstdint>
#include <span>

#include "platform/messages/byte_source.h"
#include "platform/messages/module_tables.h"

namespace tamsel::platform::messages {

// Section name, as written by tamsel_embed_message_table (cmake/MessageTables.cmake).
inline constexpr char kMessageTableSection[] = ".tamsel.msgtbl";

// Section contents: one or more blocks (one per linked object that embeds a table), each
// 8-byte aligned and separated by zero padding:
//   char magic[8] = "TSLMSGT1"; u32 blockSize; u32 languageCount;
//   languageCount x { u32 languageId; u32 offset; u32 size }   (offsets from the block start)
//   then the MESSAGE_RESOURCE_DATA of each language.
inline constexpr char kMessageTableMagic[] = "TSLMSGT1";

// Reads the message tables of the ELF image in `source` (32- or 64-bit, little-endian).
// ERROR_BAD_EXE_FORMAT for headers that are not a sound ELF image, ERROR_RESOURCE_DATA_NOT_FOUND
// for a corrupt table section. An image without the section loads with
// `tables.missing` = ERROR_RESOURCE_TYPE_NOT_FOUND.
Win32Error ReadElfMessageTables(const ByteSource& source, ModuleTables& tables);

// Parses the section contents themselves (the format above).
Win32Error ParseMessageTableSection(std::span<const std::uint8_t> section, ModuleTables& tables);

}  // namespace tamsel::platform::messages
