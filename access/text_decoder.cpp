#include "access/text_decoder.h"
#include "db/error.h"
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <vector>

namespace accessdb {

namespace {

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);
constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 code units to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string utf8FromUtf16(const std::vector<char16_t>& units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

} // namespace

TextDecoder::TextDecoder(bool unicode, int codePage) : m_unicode(unicode) {
    if (unicode)
        return;
    std::string charset;
    if (const char* forced = std::getenv("MDB_JET3_CHARSET"); forced && *forced)
        charset = forced;
    else if (codePage > 0)
        charset = "CP" + std::to_string(codePage);
    iconv_t cd = charset.empty() ? kNoIconv : iconv_open("UTF-8", charset.c_str());
    if (cd == kNoIconv) // a code page this system does not know: Western European is what Jet 3 mostly holds
        cd = iconv_open("UTF-8", "CP1252");
    if (cd == kNoIconv)
        throw db::Error(db::err::EngineError, "The text conversion from code page " + std::to_string(codePage) +
                                                  " to UTF-8 is not available on this system.");
    m_iconv = cd;
}

TextDecoder::~TextDecoder() {
    if (m_iconv)
        iconv_close(static_cast<iconv_t>(m_iconv));
}

std::string TextDecoder::decode(const unsigned char* bytes, std::size_t size) const {
    return m_unicode ? decodeUnicode(bytes, size) : decodeCodePage(bytes, size);
}

std::string TextDecoder::decodeUnicode(const unsigned char* bytes, std::size_t size) const {
    std::vector<char16_t> units;
    units.reserve(size);
    std::size_t i = 0;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        // Compressed: single bytes stand for U+0001..U+00FF; each 0x00 switches to pairs and back.
        bool compressed = true;
        for (i = 2; i < size;) {
            if (bytes[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                units.push_back(bytes[i++]);
            } else if (i + 1 < size) {
                units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
                i += 2;
            } else {
                units.push_back(static_cast<char16_t>(kReplacement));
                ++i;
            }
        }
    } else {
        for (; i + 1 < size; i += 2)
            units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
        if (i < size)
            units.push_back(static_cast<char16_t>(kReplacement));
    }
    return utf8FromUtf16(units);
}

std::string TextDecoder::decodeCodePage(const unsigned char* bytes, std::size_t size) const {
    const auto cd = static_cast<iconv_t>(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out(size * 3 + 16, '\0');
    auto* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
    std::size_t inLeft = size;
    std::size_t done = 0;
    while (inLeft > 0) {
        char* outPtr = out.data() + done;
        std::size_t outLeft = out.size() - done;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        done = out.size() - outLeft;
        if (rc != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else { // a byte the code page leaves undefined, or a cut-off sequence: mark it and go on
            if (out.size() - done < 4)
                out.resize(out.size() * 2);
            std::string mark;
            appendUtf8(mark, kReplacement);
            out.replace(done, mark.size(), mark);
            done += mark.size();
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    out.resize(done);
    return out;
}

} // namespace accessdb
