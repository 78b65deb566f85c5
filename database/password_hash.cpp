// Argon2id password hashing through libsodium.
#include "database/password_hash.h"

#include <sodium.h>

#include <stdexcept>

namespace tamsel::db {
namespace {

void StartSodium() {
  if (sodium_init() < 0) throw std::runtime_error("the password library cannot start");
}

}  // namespace

std::string HashPassword(std::string_view password) {
  StartSodium();
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(hash, password.data(), password.size(),
                            crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    throw std::runtime_error("out of memory while hashing the password");
  }
  return hash;
}

bool VerifyPassword(std::string_view hash, std::string_view password) {
  StartSodium();
  const std::string stored(hash);  // the library wants a terminated string
  if (stored.size() >= crypto_pwhash_STRBYTES) return false;
  return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

}  // namespace tamsel::db
