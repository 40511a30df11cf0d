#pragma once
// The key an encrypted file is opened with.
#include "db/sqlite/sqlite_api.h"
#include <cstddef>
#include <string>

namespace db::sqlite {

// What to give sqlite3_key for `password` on a connection whose file is opened but not yet read. SQLCipher
// turns a password into the file's key by 64,000 rounds of PBKDF2-HMAC-SHA1 over the salt in the file's
// first 16 bytes, on every open: tens of milliseconds each, and a run opens its file several times. The key
// is derived here once per password and salt for the life of the process and given as SQLCipher's raw key
// with its salt (x'<key><salt>'), which it takes without deriving. A password that is itself a raw key, or
// a file too short to hold a salt (a new one), is given as it is.
std::string cipherKey(const Api& api, sqlite3* db, const std::string& password);

// Bytes as SQLCipher takes a raw key: x'<hexadecimal digits>'.
std::string rawKeyText(const unsigned char* bytes, std::size_t n);

} // namespace db::sqlite
