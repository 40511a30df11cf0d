#include "dedupe/loose_keys.h"

#include <algorithm>
#include <array>
#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <vector>

namespace dedupe {

namespace {

// ASCII characters classed by the same Unicode properties as the rest, so that a text takes the same key
// whether or not it holds a character beyond ASCII.
struct AsciiClasses {
    std::array<bool, 128> punctuation{};
    std::array<bool, 128> blank{};
    std::array<bool, 128> wordChar{};
};

const AsciiClasses& asciiClasses() {
    static const AsciiClasses classes = [] {
        AsciiClasses c;
        for (UChar32 ch = 0; ch < 128; ++ch) {
            const auto i = static_cast<std::size_t>(ch);
            c.punctuation[i] = (U_GET_GC_MASK(ch) & U_GC_P_MASK) != 0;
            c.blank[i] = u_isUWhiteSpace(ch);
            c.wordChar[i] = u_isalnum(ch);
        }
        return c;
    }();
    return classes;
}

bool isTrimBlank(unsigned c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

bool isApostrophe(UChar32 c) {
    return c == 0x27 || c == 0x2019;
}

template <class Text> void trimInPlace(Text& text) {
    std::size_t first = 0, last = text.size();
    while (first < last && isTrimBlank(static_cast<unsigned>(text[first])))
        ++first;
    while (last > first && isTrimBlank(static_cast<unsigned>(text[last - 1])))
        --last;
    text = text.substr(first, last - first);
}

std::string joinedWords(std::vector<std::string>& words) {
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    std::string out;
    for (const std::string& word : words) {
        if (!out.empty())
            out.push_back(' ');
        out += word;
    }
    return out;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// ASCII text, or text that is not UTF-8: byte by byte, any byte beyond ASCII a letter of its own.
std::string bytewise(std::string_view text, const LooseRules& rules) {
    const AsciiClasses& classes = asciiClasses();
    auto isWordByte = [&](unsigned char c) { return c >= 0x80 || classes.wordChar[c]; };
    if (rules.sameWords) {
        std::vector<std::string> words;
        std::string word;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (isWordByte(c)) {
                word.push_back(asciiLower(static_cast<char>(c)));
            } else if (c == '\'' && !word.empty() && i + 1 < text.size() &&
                       isWordByte(static_cast<unsigned char>(text[i + 1]))) {
                // an apostrophe inside a word joins its two halves
            } else if (!word.empty()) {
                words.push_back(std::move(word));
                word.clear();
            }
        }
        if (!word.empty())
            words.push_back(std::move(word));
        return joinedWords(words);
    }
    std::string out;
    out.reserve(text.size());
    bool inBlankRun = false;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80 && rules.ignorePunctuation && classes.punctuation[c])
            continue;
        if (c < 0x80 && rules.collapseBlanks && classes.blank[c]) {
            if (!inBlankRun)
                out.push_back(' ');
            inBlankRun = true;
            continue;
        }
        inBlankRun = false;
        out.push_back(ch);
    }
    if (rules.trim)
        trimInPlace(out);
    if (rules.ignoreCase)
        for (char& c : out)
            c = asciiLower(c);
    return out;
}

bool toUtf16(std::string_view text, std::u16string& wide) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    wide.resize(text.size());
    u_strFromUTF8(wide.data(), static_cast<int32_t>(wide.size()), &length, text.data(),
                  static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status))
        return false;
    wide.resize(static_cast<std::size_t>(length));
    return true;
}

std::string toUtf8(const std::u16string& wide) {
    UErrorCode status = U_ZERO_ERROR;
    std::string out(wide.size() * 3, '\0');
    int32_t length = 0;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, wide.data(), static_cast<int32_t>(wide.size()),
                &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return out;
}

std::u16string caseFolded(const std::u16string& wide) {
    std::u16string out(wide.size() * 3 + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = u_strFoldCase(out.data(), static_cast<int32_t>(out.size()), wide.data(),
                                         static_cast<int32_t>(wide.size()), U_FOLD_CASE_DEFAULT, &status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(length) : 0);
    return out;
}

// Keeps the code points for which `keep` is true.
template <class Keep> std::u16string filtered(const std::u16string& wide, Keep keep) {
    std::u16string out;
    out.reserve(wide.size());
    const auto length = static_cast<int32_t>(wide.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c;
        U16_NEXT(wide.data(), i, length, c);
        if (keep(c))
            out.append(wide, static_cast<std::size_t>(start), static_cast<std::size_t>(i - start));
    }
    return out;
}

std::u16string withoutAccents(const std::u16string& wide) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfd = unorm2_getNFDInstance(&status);
    std::u16string decomposed(wide.size() * 2 + 8, u'\0');
    int32_t length = unorm2_normalize(nfd, wide.data(), static_cast<int32_t>(wide.size()), decomposed.data(),
                                      static_cast<int32_t>(decomposed.size()), &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        status = U_ZERO_ERROR;
        decomposed.resize(static_cast<std::size_t>(length));
        length = unorm2_normalize(nfd, wide.data(), static_cast<int32_t>(wide.size()), decomposed.data(),
                                  static_cast<int32_t>(decomposed.size()), &status);
    }
    if (U_FAILURE(status))
        return wide;
    decomposed.resize(static_cast<std::size_t>(length));
    return filtered(decomposed, [](UChar32 c) { return (U_GET_GC_MASK(c) & U_GC_M_MASK) == 0; });
}

std::string unicodeWords(const std::u16string& text) {
    const std::u16string plain = withoutAccents(caseFolded(text));
    std::vector<std::string> words;
    std::u16string word;
    const auto length = static_cast<int32_t>(plain.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c;
        U16_NEXT(plain.data(), i, length, c);
        if (u_isalnum(c)) {
            word.append(plain, static_cast<std::size_t>(start), static_cast<std::size_t>(i - start));
            continue;
        }
        if (isApostrophe(c) && !word.empty() && i < length) {
            int32_t next = i;
            UChar32 after;
            U16_NEXT(plain.data(), next, length, after);
            if (u_isalnum(after))
                continue;
        }
        if (!word.empty()) {
            words.push_back(toUtf8(word));
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(toUtf8(word));
    return joinedWords(words);
}

} // namespace

std::string loosened(std::string_view text, const LooseRules& rules) {
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    std::u16string wide;
    if (ascii || !toUtf16(text, wide))
        return bytewise(text, rules);
    if (rules.sameWords)
        return unicodeWords(wide);
    if (rules.ignorePunctuation)
        wide = filtered(wide, [](UChar32 c) { return (U_GET_GC_MASK(c) & U_GC_P_MASK) == 0; });
    if (rules.foldAccents)
        wide = withoutAccents(wide);
    if (rules.collapseBlanks) {
        std::u16string collapsed;
        bool inBlankRun = false;
        const auto length = static_cast<int32_t>(wide.size());
        for (int32_t i = 0; i < length;) {
            const int32_t start = i;
            UChar32 c;
            U16_NEXT(wide.data(), i, length, c);
            if (u_isUWhiteSpace(c)) {
                if (!inBlankRun)
                    collapsed.push_back(u' ');
                inBlankRun = true;
            } else {
                inBlankRun = false;
                collapsed.append(wide, static_cast<std::size_t>(start), static_cast<std::size_t>(i - start));
            }
        }
        wide = std::move(collapsed);
    }
    if (rules.trim)
        trimInPlace(wide);
    if (rules.ignoreCase)
        wide = caseFolded(wide);
    return toUtf8(wide);
}

} // namespace dedupe
