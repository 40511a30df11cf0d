#pragma once
// Text as an Access file stores it, turned into UTF-8.
#include <cstddef>
#include <string>

namespace accessdb {

// Jet 4 and ACE files store UCS-2 (often "compressed": one byte per character between 0x00 toggles);
// Jet 3 files store the bytes of their code page. The result is always valid UTF-8: what cannot be
// decoded becomes U+FFFD rather than vanishing.
class TextDecoder {
public:
    // `codePage` is the Windows code page of a Jet 3 file (0: unknown, read as 1252). The environment
    // variable MDB_JET3_CHARSET overrides it, as it does for the mdbtools commands.
    TextDecoder(bool unicode, int codePage);
    ~TextDecoder();
    TextDecoder(const TextDecoder&) = delete;
    TextDecoder& operator=(const TextDecoder&) = delete;

    std::string decode(const unsigned char* bytes, std::size_t size) const;

private:
    std::string decodeUnicode(const unsigned char* bytes, std::size_t size) const;
    std::string decodeCodePage(const unsigned char* bytes, std::size_t size) const;

    bool m_unicode;
    void* m_iconv = nullptr; // iconv_t of the Jet 3 code page to UTF-8
};

} // namespace accessdb
