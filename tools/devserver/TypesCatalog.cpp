// Declared types: from SQLite's declared type text to server column types and back.
#include "TypesCatalog.h"

#include "SqlLexer.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace devserver {

namespace {

/// Splits "numeric text (10, 2)" into the words before the parenthesis and its numbers.
void splitDeclared(std::string_view declared, std::vector<std::string>& words,
                   std::vector<long>& numbers) {
    std::string text = lower(declared);
    size_t paren = text.find('(');
    std::string head = text.substr(0, paren);
    std::string word;
    for (char c : head) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(word);
    if (paren == std::string::npos)
        return;
    const char* p = text.c_str() + paren + 1;
    while (*p) {
        while (*p == ' ' || *p == ',')
            ++p;
        if (!std::isdigit(static_cast<unsigned char>(*p)))
            break;
        char* end = nullptr;
        numbers.push_back(std::strtol(p, &end, 10));
        p = end;
    }
}

/// Stands for the length the declaration gives (1 when it gives none).
constexpr int32_t kDeclaredLength = -1;

/// The type names whose column type follows from the name alone.
struct NamedType {
    std::string_view name;
    SqlType type;
    int32_t length;
};

constexpr NamedType kNamedTypes[] = {
    {"int", SqlType::Int, 4},
    {"integer", SqlType::Int, 4},
    {"smallint", SqlType::SmallInt, 2},
    {"tinyint", SqlType::TinyInt, 1},
    {"bigint", SqlType::BigInt, 8},
    {"bit", SqlType::Bit, 1},
    {"real", SqlType::Real, 4},
    {"double", SqlType::Float, 8},
    {"money", SqlType::Money, 8},
    {"smallmoney", SqlType::SmallMoney, 4},
    {"datetime", SqlType::DateTime, 8},
    {"smalldatetime", SqlType::SmallDateTime, 4},
    {"date", SqlType::Date, 4},
    {"time", SqlType::Time, 4},
    {"varchar", SqlType::VarChar, kDeclaredLength},
    {"nvarchar", SqlType::VarChar, kDeclaredLength},
    {"sysname", SqlType::VarChar, 255},
    {"unichar", SqlType::UniChar, kDeclaredLength},
    {"univarchar", SqlType::UniVarChar, kDeclaredLength},
    {"binary", SqlType::Binary, kDeclaredLength},
    {"varbinary", SqlType::VarBinary, kDeclaredLength},
    {"timestamp", SqlType::VarBinary, 8},
    {"text", SqlType::Text, 0x7fffffff},
    {"unitext", SqlType::Text, 0x7fffffff},
    {"image", SqlType::Image, 0x7fffffff},
};

} // namespace

bool isExactDecimal(SqlType type) noexcept {
    return type == SqlType::Money || type == SqlType::SmallMoney || type == SqlType::Numeric ||
           type == SqlType::Decimal;
}

bool needsDecimalStorage(std::string_view typeName) {
    std::string name = lower(typeName);
    return name == "money" || name == "smallmoney" || name == "numeric" || name == "decimal" ||
           name == "dec";
}

std::optional<ColumnType> parseDeclaredType(std::string_view declared) {
    std::vector<std::string> words;
    std::vector<long> numbers;
    splitDeclared(declared, words, numbers);
    if (words.empty())
        return std::nullopt;
    if (words[0] == "unsigned" && words.size() > 1)
        words.erase(words.begin());
    // A length must be a number: varchar(max) and the like are not the server's types.
    if (auto paren = declared.find('('); paren != std::string_view::npos) {
        for (char c : declared.substr(paren + 1))
            if (std::isalpha(static_cast<unsigned char>(c)))
                return std::nullopt;
    }
    const std::string& name = words[0];
    const bool hasLength = !numbers.empty();
    const auto length =
        static_cast<int32_t>(hasLength ? std::max(1L, std::min(numbers[0], 1L << 30)) : 1);

    if (name == "float") {
        if (hasLength && numbers[0] < 16)
            return makeColumnType(SqlType::Real, 4);
        return makeColumnType(SqlType::Float, 8);
    }
    if (name == "numeric" || name == "decimal" || name == "dec") {
        long precision = hasLength ? numbers[0] : 18;
        long scale = numbers.size() > 1 ? numbers[1] : 0;
        if (precision < 1 || precision > 38 || scale < 0 || scale > precision)
            return std::nullopt;
        return makeColumnType(name == "numeric" ? SqlType::Numeric : SqlType::Decimal, 0,
                              static_cast<uint8_t>(precision), static_cast<uint8_t>(scale));
    }
    if (name == "char" || name == "nchar" || name == "character") {
        if (words.size() > 1 && words[1] == "varying")
            return makeColumnType(SqlType::VarChar, length);
        return makeColumnType(SqlType::Char, length);
    }
    for (const auto& named : kNamedTypes)
        if (name == named.name)
            return makeColumnType(named.type,
                                  named.length == kDeclaredLength ? length : named.length);
    return std::nullopt;
}

ColumnType typeOfValue(const SqlValue& first) {
    switch (first.kind) {
    case SqlValue::Kind::Null:
        return makeColumnType(SqlType::VarChar, 255);
    case SqlValue::Kind::Integer:
        if (first.integer < INT32_MIN || first.integer > INT32_MAX)
            return makeColumnType(SqlType::BigInt, 8);
        return makeColumnType(SqlType::Int, 4);
    case SqlValue::Kind::Real:
        return makeColumnType(SqlType::Float, 8);
    case SqlValue::Kind::Text: {
        const std::string& s = first.bytes;
        // Date-times computed by expressions keep the canonical text form.
        if (s.size() == 23 && s[4] == '-' && s[7] == '-' && s[10] == ' ' && s[13] == ':' &&
            s[16] == ':' && s[19] == '.' && parseDateTime(s, DateOrder::YMD))
            return makeColumnType(SqlType::DateTime, 8);
        if (s.size() > 255)
            return makeColumnType(SqlType::Text, 0x7fffffff);
        return makeColumnType(SqlType::VarChar, 255);
    }
    case SqlValue::Kind::Blob:
        if (first.bytes.size() > 255)
            return makeColumnType(SqlType::Image, 0x7fffffff);
        return makeColumnType(SqlType::VarBinary, 255);
    }
    return makeColumnType(SqlType::VarChar, 255);
}

std::string declaredTypeText(const ColumnType& t) {
    switch (t.type) {
    case SqlType::Bit:
        return "bit";
    case SqlType::TinyInt:
        return "tinyint";
    case SqlType::SmallInt:
        return "smallint";
    case SqlType::Int:
        return "int";
    case SqlType::BigInt:
        return "bigint";
    case SqlType::Real:
        return "real";
    case SqlType::Float:
        return "float";
    case SqlType::SmallMoney:
        return "smallmoney";
    case SqlType::Money:
        return "money";
    case SqlType::Numeric:
        return "numeric(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case SqlType::Decimal:
        return "decimal(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case SqlType::SmallDateTime:
        return "smalldatetime";
    case SqlType::DateTime:
        return "datetime";
    case SqlType::Date:
        return "date";
    case SqlType::Time:
        return "time";
    case SqlType::Char:
        return "char(" + std::to_string(t.length) + ")";
    case SqlType::VarChar:
        return "varchar(" + std::to_string(t.length) + ")";
    case SqlType::UniChar:
        return "unichar(" + std::to_string(t.length) + ")";
    case SqlType::UniVarChar:
        return "univarchar(" + std::to_string(t.length) + ")";
    case SqlType::Binary:
        return "binary(" + std::to_string(t.length) + ")";
    case SqlType::VarBinary:
        return "varbinary(" + std::to_string(t.length) + ")";
    case SqlType::Text:
        return "text";
    case SqlType::Image:
        return "image";
    }
    return "varchar(255)";
}

} // namespace devserver
