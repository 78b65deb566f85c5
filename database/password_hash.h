// Application users' passwords: stored as salted Argon2id hashes in libsodium's string form
// ("$argon2id$v=19$m=...,t=...,p=...$salt$hash"), never as plain text.
#pragma once

#include <string>
#include <string_view>

namespace tamsel::db {

// Raises std::runtime_error when the library cannot start or runs out of memory.
std::string HashPassword(std::string_view password);
// True when `password` matches a hash made by HashPassword; false for any other text.
bool VerifyPassword(std::string_view hash, std::string_view password);

}  // namespace tamsel::db
