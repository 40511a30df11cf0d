#pragma once
// What the process that reads an Access file tells the program, one line at a time on its own pipe:
//   table INDEX COUNT ROWS NAME   a table starts (ROWS as its definition records them)
//   rows DONE                     rows of the current table written so far
//   copied ROWS                   the current table is complete
//   failed NUMBER TEXT            the copy is refused (a db::Error's number and description)
//   done                          every table is written and the file is closed
// Names and texts have their control bytes and '%' written as %XX, so that a line stays one line.
#include <cstdio>
#include <string>

namespace accessdb::protocol {

// The descriptor the reading process writes these lines to.
inline constexpr int kProgressFd = 3;

inline std::string escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c == '%' || c == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

inline std::string unescape(const std::string& text) {
    auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && digit(text[i + 1]) >= 0 && digit(text[i + 2]) >= 0) {
            out += static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace accessdb::protocol
