#include "access/header.h"
#include "access/text_decoder.h"
#include "db/error.h"
#include "db/sqlite/file_kind.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace accessdb {

namespace {

// The header page is obscured with RC4 under a fixed key from offset 0x18 on: 126 bytes in Jet 3, 128
// later. The password field sits at 0x42 (20 bytes of code-page text in Jet 3, 20 UCS-2 characters
// later); from Jet 4 on it is further XORed with the integer part of the creation date kept at 0x72.
// An unprotected file decodes to an all-zero field, which is how these offsets were confirmed.
constexpr std::size_t kObscuredStart = 0x18;
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kCodePageOffset = 0x3C;
constexpr std::size_t kEncodingKeyOffset = 0x3E;
constexpr std::size_t kCreationDateOffset = 0x72;
constexpr std::size_t kVersionOffset = 0x14;
constexpr std::array<unsigned char, 4> kHeaderKey = {0xC7, 0xDA, 0x39, 0x6B};

void rc4(const unsigned char* key, std::size_t keySize, unsigned char* data, std::size_t size) {
    std::array<unsigned char, 256> s{};
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<unsigned char>(i);
    for (std::size_t i = 0, j = 0; i < s.size(); ++i) {
        j = (j + s[i] + key[i % keySize]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    for (std::size_t n = 0, i = 0, j = 0; n < size; ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        data[n] ^= s[(s[i] + s[j]) & 0xFF];
    }
}

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The stored field without its zero padding.
std::size_t trimmedSize(const unsigned char* field, std::size_t size, std::size_t unit) {
    while (size >= unit && std::all_of(field + size - unit, field + size, [](unsigned char b) { return b == 0; }))
        size -= unit;
    return size;
}

} // namespace

Header readHeader(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw db::Error(db::err::FileNotFound, "The Access file '" + path + "' does not exist.");
    if (!S_ISREG(st.st_mode))
        throw db::Error(db::err::NotADatabase, "'" + path + "' is not an Access database file.");
    std::array<unsigned char, 0x98> page{};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw db::Error(db::err::ReadOnly, "The Access file '" + path + "' cannot be read (no permission).");
    in.read(reinterpret_cast<char*>(page.data()), static_cast<std::streamsize>(page.size()));
    if (in.gcount() != static_cast<std::streamsize>(page.size()) ||
        (std::memcmp(page.data() + 4, "Standard Jet DB", 15) != 0 &&
         std::memcmp(page.data() + 4, "Standard ACE DB", 15) != 0))
        throw db::Error(db::err::NotADatabase, "'" + path + "' is not an Access database file.");

    Header h;
    const unsigned version = page[kVersionOffset];
    h.format = version == 0 ? FileFormat::Jet3 : version == 1 ? FileFormat::Jet4 : FileFormat::Ace;
    // Access writes whole pages. A cut-off file is refused here: libmdb can loop without end on one.
    if (st.st_size % (h.format == FileFormat::Jet3 ? 2048 : 4096) != 0)
        throw db::Error(db::err::NotADatabase, "The Access file '" + path +
                                                   "' is damaged: it ends in the middle of a page (it may have "
                                                   "been cut off while it was copied).");
    rc4(kHeaderKey.data(), kHeaderKey.size(), page.data() + kObscuredStart, (h.format == FileFormat::Jet3 ? 126 : 128));
    h.codePage = page[kCodePageOffset] | page[kCodePageOffset + 1] << 8;

    unsigned char* field = page.data() + kPasswordOffset;
    std::size_t fieldSize = 20;
    if (h.format != FileFormat::Jet3) {
        fieldSize = 40;
        double created = 0;
        std::memcpy(&created, page.data() + kCreationDateOffset, sizeof created);
        const bool plausible = std::isfinite(created) && std::fabs(created) < 2147483647.0; // damaged headers
        const auto mask = plausible ? static_cast<std::uint32_t>(static_cast<std::int32_t>(created)) : 0u;
        for (std::size_t i = 0; i < fieldSize; ++i)
            field[i] ^= static_cast<unsigned char>(mask >> (8 * (i % 4)));
    }
    const std::size_t stored = trimmedSize(field, fieldSize, h.format == FileFormat::Jet3 ? 1 : 2);
    if (stored > 0)
        h.password = TextDecoder(h.format != FileFormat::Jet3, h.codePage).decode(field, stored);
    // ACE protection is real encryption: neither the stored field nor an encoding key can be checked here.
    h.unverifiable = h.format == FileFormat::Ace && (stored > 0 || le32(page.data() + kEncodingKeyOffset) != 0);
    return h;
}

PasswordCheck checkPassword(const std::string& path, const std::string& typed) {
    const Header h = readHeader(path);
    if (h.unverifiable)
        return PasswordCheck::CannotCheck;
    if (h.password.empty())
        return PasswordCheck::NotProtected;
    return typed == h.password ? PasswordCheck::Matches : PasswordCheck::Wrong;
}

bool requirePassword(const std::string& path, const std::string& typed) {
    switch (checkPassword(path, typed)) {
    case PasswordCheck::NotProtected:
        return false;
    case PasswordCheck::Matches:
        return true;
    case PasswordCheck::Wrong:
        throw db::Error(db::err::WrongPassword,
                        typed.empty() ? "The Access file '" + path +
                                            "' is protected by a password. Enter its password and try again."
                                      : "Not a valid password for the Access file '" + path + "'.");
    case PasswordCheck::CannotCheck:
        break;
    }
    throw db::Error(db::err::WrongPassword,
                    "The Access file '" + path +
                        "' is encrypted with a password in a way this program cannot check or read. Remove the "
                        "password in Access (or save a copy without it), then open that file.");
}

bool isAccessFile(const std::string& path) {
    // Only a regular file is read: a FIFO would block the read for good, and a device or folder is no
    // Access file either (the database layer then says what it is).
    std::error_code kind;
    if (!std::filesystem::is_regular_file(path, kind))
        return false;
    std::ifstream in(path, std::ios::binary);
    std::string head(db::kFileHeadBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    if (!in && in.gcount() <= 0)
        return false;
    head.resize(static_cast<std::size_t>(in.gcount()));
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return !ec && db::classifyFile(head, size).kind == db::FileKind::Access;
}

} // namespace accessdb
