// The key an encrypted file is opened with (see cipher_key.h).
#include "db/sqlite/cipher_key.h"
#include <algorithm>
#include <array>
#include <cctype>
#include <deque>
#include <mutex>
#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace db::sqlite {

namespace {

// SQLCipher 3's defaults, the only settings this program opens files with.
constexpr int kKdfRounds = 64000;
constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kSaltBytes = 16;

using Salt = std::array<unsigned char, kSaltBytes>;

struct Derived {
    std::string password;
    Salt salt{};
    std::string key; // the raw key text
    ~Derived() {
        OPENSSL_cleanse(password.data(), password.size());
        OPENSSL_cleanse(key.data(), key.size());
    }
};

// The keys derived so far; a few files are open in one session at most.
constexpr std::size_t kRemembered = 8;

std::mutex& derivedMutex() {
    static std::mutex m;
    return m;
}

std::deque<Derived>& derivedKeys() {
    static std::deque<Derived> keys;
    return keys;
}

// x'...' with 64 or 96 hexadecimal digits: SQLCipher takes it as the key itself.
bool isRawKey(const std::string& password) {
    const std::size_t digits = password.size() >= 3 ? password.size() - 3 : 0;
    if ((digits != 64 && digits != 96) || (password[0] != 'x' && password[0] != 'X') || password[1] != '\'' ||
        password.back() != '\'')
        return false;
    return std::all_of(password.begin() + 2, password.end() - 1,
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// The file's salt, read through the connection's own descriptor: opening the file again and closing it
// would drop every lock this process holds on it.
bool readSalt(const Api& api, sqlite3* db, Salt& salt) {
    sqlite3_file* file = nullptr;
    if (api.fileControl(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file || !file->pMethods)
        return false;
    return file->pMethods->xRead(file, salt.data(), static_cast<int>(salt.size()), 0) == SQLITE_OK;
}

} // namespace

std::string rawKeyText(const unsigned char* bytes, std::size_t n) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text = "x'";
    for (std::size_t i = 0; i < n; ++i) {
        text += hex[bytes[i] >> 4];
        text += hex[bytes[i] & 15];
    }
    return text + "'";
}

std::string cipherKey(const Api& api, sqlite3* db, const std::string& password) {
    Salt salt{};
    if (password.empty() || isRawKey(password) || !readSalt(api, db, salt))
        return password;
    const std::lock_guard<std::mutex> lock(derivedMutex());
    auto& keys = derivedKeys();
    for (const Derived& d : keys)
        if (d.salt == salt && d.password == password)
            return d.key;
    // The key, then the salt: SQLCipher's raw key with its salt.
    unsigned char keyAndSalt[kKeyBytes + kSaltBytes];
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt.data(),
                               static_cast<int>(salt.size()), kKdfRounds, static_cast<int>(kKeyBytes),
                               keyAndSalt) != 1)
        return password; // SQLCipher derives it itself
    std::copy(salt.begin(), salt.end(), keyAndSalt + kKeyBytes);
    if (keys.size() == kRemembered)
        keys.pop_front();
    keys.emplace_back();
    keys.back().password = password;
    keys.back().salt = salt;
    keys.back().key = rawKeyText(keyAndSalt, sizeof keyAndSalt);
    OPENSSL_cleanse(keyAndSalt, sizeof keyAndSalt);
    return keys.back().key;
}

} // namespace db::sqlite
