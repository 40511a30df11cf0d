#include "db/dialect.h"
#include "db/ascii.h"
#include "db/error.h"
#include <charconv>
#include <cstdlib>

namespace db::dialect {

namespace {

enum class Kind { Word, Name, String, Number, Punct, End };

struct Token {
    Kind kind = Kind::End;
    std::string text; // the word, the unquoted name or string, the punctuation character
    Value number;
    std::size_t offset = 0;
};

bool isWordStart(unsigned char c) {
    return ascii::isAlpha(c) || c == '_' || c >= 0x80;
}
bool isWordChar(unsigned char c) {
    return ascii::isAlnum(c) || c == '_' || c == '$' || c >= 0x80;
}

std::string shorten(std::string_view s) {
    constexpr std::size_t kMax = 200;
    return s.size() <= kMax ? std::string(s) : std::string(s.substr(0, kMax)) + "...";
}

class Parser {
public:
    explicit Parser(std::string_view sql) : m_sql(sql) { tokenize(); }

    Statement statement() {
        Statement result;
        if (isKeyword("SELECT"))
            result = select();
        else if (isKeyword("ALTER"))
            result = alter();
        else if (isKeyword("DELETE"))
            result = remove();
        else if (isKeyword("DROP"))
            result = drop();
        else if (isKeyword("UPDATE"))
            result = update();
        else
            fail("it must start with SELECT, ALTER TABLE, UPDATE, DELETE or DROP TABLE");
        if (peek().kind == Kind::Punct && peek().text == ";")
            ++m_pos;
        if (peek().kind != Kind::End)
            throw Error(err::SyntaxError, "Only one statement can be run at a time; the text after the first "
                                          "statement was not run: \"" +
                                              shorten(m_sql.substr(peek().offset)) + "\" (in the statement \"" +
                                              shorten(m_sql) + "\").");
        return result;
    }

private:
    [[noreturn]] void fail(const std::string& why) const {
        std::string near;
        if (peek().kind != Kind::End)
            near = " near \"" + shorten(m_sql.substr(peek().offset, 40)) + "\"";
        throw Error(err::SyntaxError,
                    "Syntax error in the statement \"" + shorten(m_sql) + "\"" + near + ": " + why + ".");
    }

    const Token& peek() const { return m_tokens[m_pos]; }

    bool isKeyword(const char* word) const {
        const Token& t = peek();
        if (t.kind != Kind::Word || t.text.size() != std::char_traits<char>::length(word))
            return false;
        for (std::size_t i = 0; i < t.text.size(); ++i)
            if (ascii::toUpper(t.text[i]) != word[i])
                return false;
        return true;
    }

    bool accept(const char* word) {
        if (!isKeyword(word))
            return false;
        ++m_pos;
        return true;
    }

    void expect(const char* word) {
        if (!accept(word))
            fail(std::string("expected ") + word);
    }

    bool acceptPunct(char c) {
        if (peek().kind == Kind::Punct && peek().text[0] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    void expectPunct(char c) {
        if (!acceptPunct(c))
            fail(std::string("expected '") + c + "'");
    }

    std::string name(const char* what) {
        const Token& t = peek();
        if (t.kind != Kind::Word && t.kind != Kind::Name)
            fail(std::string("expected ") + what);
        ++m_pos;
        return t.text;
    }

    Value literal() {
        const Token& t = peek();
        if (t.kind == Kind::Number || t.kind == Kind::String) {
            ++m_pos;
            return t.kind == Kind::Number ? t.number : Value(t.text);
        }
        if (accept("NULL"))
            return Value();
        if (accept("TRUE"))
            return Value(-1); // the Access engine's value of True
        if (accept("FALSE"))
            return Value(0);
        fail("expected a number or a quoted text");
    }

    Condition condition() {
        Condition c;
        c.column = name("a field name");
        expectPunct('=');
        c.value = literal();
        return c;
    }

    Select select() {
        expect("SELECT");
        Select s;
        if (!acceptPunct('*')) {
            do
                s.columns.push_back(name("a field name or *"));
            while (acceptPunct(','));
        }
        if (accept("INTO"))
            s.into = name("the name of the new table");
        expect("FROM");
        s.table = name("a table name");
        if (accept("WHERE"))
            s.where = condition();
        if (accept("ORDER")) {
            expect("BY");
            do {
                OrderBy o;
                o.column = name("a field name");
                if (accept("DESC"))
                    o.descending = true;
                else
                    accept("ASC");
                if (accept("NULLS")) {
                    expect("LAST");
                    o.nullsLast = true;
                }
                s.orderBy.push_back(std::move(o));
            } while (acceptPunct(','));
        }
        return s;
    }

    Statement alter() {
        expect("ALTER");
        expect("TABLE");
        AddIdentity a;
        a.table = name("a table name");
        expect("ADD");
        accept("COLUMN");
        a.column = name("a field name");
        const bool counter = accept("COUNTER") || accept("AUTOINCREMENT");
        if (!counter) {
            if (!(accept("LONG") || accept("INTEGER") || accept("INT")))
                fail("only an integer column (LONG, or LONG IDENTITY(1,1)) can be added");
            if (!isKeyword("IDENTITY"))
                return AddColumn{a.table, a.column};
        }
        accept("IDENTITY");
        if (acceptPunct('(')) {
            const Value seed = literal();
            expectPunct(',');
            const Value step = literal();
            expectPunct(')');
            if (!(seed == Value(1) && step == Value(1)))
                fail("an auto-numbered column can only start at 1 and count in steps of 1");
        }
        return a;
    }

    Delete remove() {
        expect("DELETE");
        acceptPunct('*');
        expect("FROM");
        Delete d;
        d.table = name("a table name");
        expect("WHERE");
        d.where = condition();
        return d;
    }

    Update update() {
        expect("UPDATE");
        Update u;
        u.table = name("a table name");
        expect("SET");
        do
            u.set.push_back(condition());
        while (acceptPunct(','));
        expect("WHERE");
        u.where = condition();
        return u;
    }

    DropTable drop() {
        expect("DROP");
        expect("TABLE");
        return DropTable{name("a table name")};
    }

    void tokenize() {
        std::size_t i = 0;
        const std::size_t n = m_sql.size();
        while (true) {
            while (i < n && ascii::isSpace(static_cast<unsigned char>(m_sql[i])))
                ++i;
            Token t;
            t.offset = i;
            if (i == n) {
                m_tokens.push_back(t);
                return;
            }
            const unsigned char c = static_cast<unsigned char>(m_sql[i]);
            if (c == '[' || c == '`' || c == '"' || c == '\'') {
                const char close = c == '[' ? ']' : static_cast<char>(c);
                t.kind = (c == '[' || c == '`') ? Kind::Name : Kind::String;
                ++i;
                bool closed = false;
                while (i < n) {
                    if (m_sql[i] == close) {
                        if (i + 1 < n && m_sql[i + 1] == close) {
                            t.text.push_back(close);
                            i += 2;
                            continue;
                        }
                        closed = true;
                        ++i;
                        break;
                    }
                    t.text.push_back(m_sql[i++]);
                }
                if (!closed)
                    throwAt(t.offset, std::string("missing the closing ") + close);
                if (t.kind == Kind::Name && t.text.empty())
                    throwAt(t.offset, "a name cannot be empty");
                if (t.kind == Kind::Name && t.text.find('\0') != std::string::npos)
                    throwAt(t.offset, "a name cannot hold a zero character");
            } else if (ascii::isDigit(c) || ((c == '-' || c == '+' || c == '.') && i + 1 < n &&
                                             (ascii::isDigit(static_cast<unsigned char>(m_sql[i + 1])) ||
                                              (m_sql[i + 1] == '.' && c != '.')))) {
                t.kind = Kind::Number;
                std::size_t start = i;
                if (m_sql[i] == '+' || m_sql[i] == '-')
                    ++i;
                bool real = false;
                while (i < n && ascii::isDigit(static_cast<unsigned char>(m_sql[i])))
                    ++i;
                if (i < n && m_sql[i] == '.') {
                    real = true;
                    ++i;
                    while (i < n && ascii::isDigit(static_cast<unsigned char>(m_sql[i])))
                        ++i;
                }
                if (i < n && (m_sql[i] == 'e' || m_sql[i] == 'E')) {
                    std::size_t e = i + 1;
                    if (e < n && (m_sql[e] == '+' || m_sql[e] == '-'))
                        ++e;
                    if (e < n && ascii::isDigit(static_cast<unsigned char>(m_sql[e]))) {
                        real = true;
                        i = e;
                        while (i < n && ascii::isDigit(static_cast<unsigned char>(m_sql[i])))
                            ++i;
                    }
                }
                if (i < n && isWordChar(static_cast<unsigned char>(m_sql[i])))
                    throwAt(start, "a number runs into a word");
                t.text = std::string(m_sql.substr(start, i - start));
                std::string digits = t.text[0] == '+' ? t.text.substr(1) : t.text;
                std::int64_t iv = 0;
                auto res = std::from_chars(digits.data(), digits.data() + digits.size(), iv);
                if (!real && res.ec == std::errc() && res.ptr == digits.data() + digits.size())
                    t.number = Value(iv);
                else
                    t.number = Value(std::strtod(digits.c_str(), nullptr));
            } else if (isWordStart(c)) {
                t.kind = Kind::Word;
                std::size_t start = i;
                while (i < n && isWordChar(static_cast<unsigned char>(m_sql[i])))
                    ++i;
                t.text = std::string(m_sql.substr(start, i - start));
            } else if (c == '*' || c == ',' || c == '(' || c == ')' || c == '=' || c == ';') {
                t.kind = Kind::Punct;
                t.text = std::string(1, static_cast<char>(c));
                ++i;
            } else {
                throwAt(i, std::string("unexpected character '") + static_cast<char>(c) + "'");
            }
            m_tokens.push_back(std::move(t));
        }
    }

    [[noreturn]] void throwAt(std::size_t offset, const std::string& why) const {
        throw Error(err::SyntaxError, "Syntax error in the statement \"" + shorten(m_sql) + "\" near \"" +
                                          shorten(m_sql.substr(offset, 40)) + "\": " + why + ".");
    }

    std::string_view m_sql;
    std::vector<Token> m_tokens;
    std::size_t m_pos = 0;
};

} // namespace

Statement parse(std::string_view sql) {
    return Parser(sql).statement();
}

namespace {

// Where the whole number a text ends with begins: a plain literal of at most 18 digits, without a leading
// zero, standing alone after '=' or a space. npos for any other end.
std::size_t trailingNumberStart(std::string_view sql) {
    std::size_t start = sql.size();
    while (start > 0 && ascii::isDigit(static_cast<unsigned char>(sql[start - 1])))
        --start;
    const std::size_t digits = sql.size() - start;
    if (digits == 0 || digits > 18 || start == 0 || (digits > 1 && sql[start] == '0') ||
        (sql[start - 1] != '=' && sql[start - 1] != ' '))
        return std::string_view::npos;
    return start;
}

std::int64_t decimal(std::string_view digits) {
    std::int64_t n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

} // namespace

const Statement& ParseCache::parse(std::string_view sql) {
    const std::size_t start = trailingNumberStart(sql);
    if (start != std::string_view::npos && !m_prefix.empty() && sql.substr(0, start) == m_prefix) {
        std::get<Delete>(m_last).where.value = Value(decimal(sql.substr(start)));
        return m_last;
    }
    m_prefix.clear();
    m_last = dialect::parse(sql);
    // Kept only when the parser itself read the number at the end as the DELETE's whole-number literal.
    if (const auto* d = std::get_if<Delete>(&m_last); d && start != std::string_view::npos &&
                                                      d->where.value.isInteger() &&
                                                      d->where.value.asInteger() == decimal(sql.substr(start)))
        m_prefix = std::string(sql.substr(0, start));
    return m_last;
}

} // namespace db::dialect
