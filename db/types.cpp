#include "db/types.h"
#include "db/ascii.h"
#include <string_view>
#include <utility>

namespace db {

namespace {

struct Known {
    std::string_view word;
    DataType type;
};

// Type words as the Access engine and SQLite schemas commonly spell them.
constexpr Known kKnown[] = {
    {"INTEGER", adInteger},
    {"INT", adInteger},
    {"LONG", adInteger},
    {"COUNTER", adInteger},
    {"AUTOINCREMENT", adInteger},
    {"MEDIUMINT", adInteger},
    {"SMALLINT", adSmallInt},
    {"SHORT", adSmallInt},
    {"INT2", adSmallInt},
    {"TINYINT", adUnsignedTinyInt},
    {"BYTE", adUnsignedTinyInt},
    {"BIGINT", adBigInt},
    {"INT8", adBigInt},
    {"SINGLE", adSingle},
    {"REAL", adDouble},
    {"DOUBLE", adDouble},
    {"FLOAT", adDouble},
    {"CURRENCY", adCurrency},
    {"MONEY", adCurrency},
    {"DATE", adDate},
    {"DATETIME", adDate},
    {"TIME", adDate},
    {"TIMESTAMP", adDate},
    {"BIT", adBoolean},
    {"BOOLEAN", adBoolean},
    {"BOOL", adBoolean},
    {"YESNO", adBoolean},
    {"LOGICAL", adBoolean},
    {"DECIMAL", adNumeric},
    {"NUMERIC", adNumeric},
    {"NUMBER", adNumeric},
    {"GUID", adGUID},
    {"UNIQUEIDENTIFIER", adGUID},
    {"TEXT", adVarWChar},
    {"CHAR", adVarWChar},
    {"VARCHAR", adVarWChar},
    {"NVARCHAR", adVarWChar},
    {"NCHAR", adVarWChar},
    {"CHARACTER", adVarWChar},
    {"STRING", adVarWChar},
    {"VARYING", adVarWChar},
    {"MEMO", adLongVarWChar},
    {"LONGTEXT", adLongVarWChar},
    {"CLOB", adLongVarWChar},
    {"NTEXT", adLongVarWChar},
    {"BLOB", adLongVarBinary},
    {"BINARY", adLongVarBinary},
    {"VARBINARY", adLongVarBinary},
    {"OLEOBJECT", adLongVarBinary},
    {"LONGBINARY", adLongVarBinary},
    {"IMAGE", adLongVarBinary},
};

} // namespace

DataType dataTypeFromDeclared(const std::string& declaredType) {
    std::size_t i = 0;
    while (i < declaredType.size() && ascii::isSpace(static_cast<unsigned char>(declaredType[i])))
        ++i;
    std::size_t end = i;
    while (end < declaredType.size() &&
           (ascii::isAlnum(static_cast<unsigned char>(declaredType[end])) || declaredType[end] == '_'))
        ++end;
    if (end == i)
        return adVariant;
    const std::string word = ascii::upper(std::string_view(declaredType).substr(i, end - i));
    for (const auto& k : kKnown)
        if (k.word == word)
            return k.type;

    // An unfamiliar word: follow SQLite's own affinity rules so the code matches how values are stored.
    const std::string all = ascii::upper(declaredType);
    if (all.find("INT") != std::string::npos)
        return adInteger;
    if (all.find("CHAR") != std::string::npos || all.find("CLOB") != std::string::npos ||
        all.find("TEXT") != std::string::npos)
        return adVarWChar;
    if (all.find("BLOB") != std::string::npos)
        return adLongVarBinary;
    if (all.find("REAL") != std::string::npos || all.find("FLOA") != std::string::npos ||
        all.find("DOUB") != std::string::npos)
        return adDouble;
    return adNumeric;
}

} // namespace db
