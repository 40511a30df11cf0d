#include "db/sqlite/file_kind.h"
#include <algorithm>
#include <array>
#include <cmath>

namespace db {

namespace {

struct Signature {
    std::size_t offset;
    std::string_view bytes;
    const char* what;
};

using namespace std::string_view_literals;

// Only signatures of four bytes or more (or three with a constrained fourth, checked below): an encrypted
// database starts with random bytes, and a short signature would turn away one such file in a few million.
constexpr Signature kSignatures[] = {
    {0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv,
     "an Office compound file (such as an older Word, Excel or PowerPoint document, or Thumbs.db)"},
    {257, "ustar"sv, "a tar archive"},
    {0, "PK\x03\x04"sv, "a ZIP archive (or a document stored as one, such as .docx, .xlsx or .odt)"},
    {0, "PK\x05\x06"sv, "an empty ZIP archive"},
    {0,
     "\xFD"
     "7zXZ\x00"sv,
     "an xz-compressed file"},
    {0, "7z\xBC\xAF\x27\x1C"sv, "a 7-Zip archive"},
    {0, "\x28\xB5\x2F\xFD"sv, "a Zstandard-compressed file"},
    {0, "Rar!\x1A\x07"sv, "a RAR archive"},
    {0, "\x89PNG\r\n\x1A\n"sv, "a PNG image"},
    {0, "GIF87a"sv, "a GIF image"},
    {0, "GIF89a"sv, "a GIF image"},
    {0, "%PDF-"sv, "a PDF document"},
    {0,
     "\x7F"
     "ELF"sv,
     "a program or library"},
    {0, "\xD9\xD5\x05\xF9\x20\xA1\x63\xD7"sv,
     "an SQLite rollback journal (the database is the file without "
     "\"-journal\" in its name)"},
    {0, "\x37\x7F\x06\x82"sv, "an SQLite write-ahead log (the database is the file without \"-wal\" in its name)"},
    {0, "\x37\x7F\x06\x83"sv, "an SQLite write-ahead log (the database is the file without \"-wal\" in its name)"},
};

bool at(std::string_view head, std::size_t offset, std::string_view bytes) {
    return head.size() >= offset + bytes.size() && head.substr(offset, bytes.size()) == bytes;
}

unsigned char byteAt(std::string_view head, std::size_t i) {
    return static_cast<unsigned char>(head[i]);
}

std::uint32_t bigEndian32(std::string_view head, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | byteAt(head, offset + i);
    return v;
}

std::uint32_t swapBytes(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

const char* shortSignature(std::string_view head) {
    if (head.size() < 4)
        return nullptr;
    const unsigned char b3 = byteAt(head, 3);
    // gzip: the method byte is always 8 (deflate) and the top three flag bits are reserved.
    if (at(head, 0, "\x1F\x8B\x08"sv) && (b3 & 0xE0) == 0)
        return "a gzip-compressed file";
    if (at(head, 0, "BZh"sv) && b3 >= '1' && b3 <= '9')
        return "a bzip2-compressed file";
    if (at(head, 0, "\xFF\xD8\xFF"sv) && (b3 >= 0xE0 || b3 == 0xDB))
        return "a JPEG image";
    return nullptr;
}

// Berkeley DB keeps its magic number at byte 12 of the first page, in the byte order of the machine that
// wrote it, and the page size (a power of two from 512 to 64 KiB) at byte 20 in the same order.
bool berkeleyDb(std::string_view head) {
    if (head.size() < 24)
        return false;
    constexpr std::uint32_t kMagics[] = {0x00061561 /* hash */, 0x00053162 /* btree */, 0x00042253 /* queue */};
    for (bool swapped : {false, true}) {
        const auto read = [&](std::size_t offset) {
            const std::uint32_t v = bigEndian32(head, offset);
            return swapped ? swapBytes(v) : v;
        };
        const std::uint32_t magic = read(12), pageSize = read(20);
        const bool knownMagic = std::find(std::begin(kMagics), std::end(kMagics), magic) != std::end(kMagics);
        if (knownMagic && pageSize >= 512 && pageSize <= 65536 && (pageSize & (pageSize - 1)) == 0)
            return true;
    }
    return false;
}

// Mostly printable characters, and no zero bytes: text in ASCII, UTF-8 or a single-byte code page.
bool text(std::string_view head) {
    std::size_t printable = 0;
    for (std::size_t i = 0; i < head.size(); ++i) {
        const unsigned char c = byteAt(head, i);
        if (c == 0)
            return false;
        if (c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7F)) {
            ++printable;
        } else if (c >= 0xC2 && c <= 0xF4) {
            // A whole UTF-8 sequence counts as printable; a cut one at the end of the head does too.
            const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            std::size_t k = 1;
            while (k < length && i + k < head.size() && (byteAt(head, i + k) & 0xC0) == 0x80)
                ++k;
            if (k == length || i + k == head.size()) {
                printable += k;
                i += k - 1;
            }
        }
    }
    return printable * 100 >= head.size() * 97;
}

// Entropy in bits per byte of the byte values and of the steps between neighbouring bytes (the smaller
// of the two: a table counting 0, 1, 2, ... has every value equally often but only one step), and the
// share of zero bytes.
struct Randomness {
    double entropy = 0;
    double zeros = 0;
};

double entropyOf(const std::array<std::size_t, 256>& counts, double n) {
    double e = 0;
    for (std::size_t count : counts)
        if (count) {
            const double p = static_cast<double>(count) / n;
            e -= p * std::log2(p);
        }
    return e;
}

Randomness measure(std::string_view bytes) {
    std::array<std::size_t, 256> values{}, steps{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        ++values[byteAt(bytes, i)];
        ++steps[static_cast<unsigned char>(byteAt(bytes, i) - byteAt(bytes, i == 0 ? bytes.size() - 1 : i - 1))];
    }
    const double n = static_cast<double>(bytes.size());
    Randomness r;
    r.entropy = std::min(entropyOf(values, n), entropyOf(steps, n));
    r.zeros = static_cast<double>(values[0]) / n;
    return r;
}

} // namespace

FileClass classifyFile(std::string_view head, std::uint64_t size) {
    FileClass c;
    if (size == 0) {
        c.kind = FileKind::Empty;
        return c;
    }
    if (at(head, 0, "SQLite format 3\0"sv)) {
        c.kind = FileKind::Sqlite;
        if (head.size() >= 100)
            c.writerVersion = bigEndian32(head, 96);
        return c;
    }
    if (at(head, 4, "Standard Jet DB"sv) || at(head, 4, "Standard ACE DB"sv)) {
        c.kind = FileKind::Access;
        return c;
    }
    for (const Signature& s : kSignatures)
        if (at(head, s.offset, s.bytes)) {
            c.kind = FileKind::Other;
            c.what = s.what;
            return c;
        }
    const char* what = shortSignature(head);
    if (!what && berkeleyDb(head))
        what = "a Berkeley DB database";
    if (!what && text(head))
        what = "a text file";
    if (what) {
        c.kind = FileKind::Other;
        c.what = what;
        return c;
    }
    // An encrypted database is whole pages of at least 512 bytes, the first one as random as the rest.
    if (size % 512 != 0 || head.size() < 512) {
        c.kind = FileKind::NoFormat;
        return c;
    }
    // Random bytes fall short of 8 bits per byte by about 255 / (2 n ln 2) for a sample of n bytes.
    const std::string_view page = head.substr(0, kFileHeadBytes);
    const Randomness r = measure(page);
    const double expected = 8.0 - 255.0 / (2.0 * static_cast<double>(page.size()) * std::log(2.0));
    if (r.entropy >= expected - 0.25 && r.zeros < 0.02)
        c.kind = FileKind::LooksEncrypted;
    else if (r.entropy < expected - 1.5 || r.zeros > 0.1)
        c.kind = FileKind::NoFormat;
    else
        c.kind = FileKind::MaybeEncrypted;
    return c;
}

std::string sqliteVersionText(std::uint32_t versionNumber) {
    return std::to_string(versionNumber / 1000000) + "." + std::to_string(versionNumber / 1000 % 1000) + "." +
           std::to_string(versionNumber % 1000);
}

} // namespace db
