// TReader: reads the text form back into a component tree. The text is scanned into
// tokens; components are created as their blocks are met, references and Loaded are
// handled once the whole tree is read. Any failure destroys what was created.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "host/Collection.h"
#include "host/Exceptions.h"
#include "host/Filer.h"
#include "host/Streams.h"
#include "host/SysUtils.h"

namespace host {

namespace {

enum class Tok { End, Ident, Integer, Float, String, Symbol, Binary };

struct Token {
    Tok kind = Tok::End;
    std::string text; // identifier, string value, symbol, binary bytes
    int64_t integer = 0;
    double number = 0;
    char suffix = 0; // float suffix: 'c' currency, 'd' date, 's' single
    int line = 1;
};

constexpr size_t kMaxTextSize = size_t{256} << 20;
constexpr int kMaxDepth = 200;

class Lexer {
public:
    explicit Lexer(std::string text) : m_text(std::move(text)) {
        if (m_text.size() > kMaxTextSize)
            throw EReadError("Component text too large");
    }

    const Token& peek() {
        if (!m_havePeek) {
            m_peek = scan();
            m_havePeek = true;
        }
        return m_peek;
    }

    Token next() {
        peek();
        m_havePeek = false;
        return std::move(m_peek);
    }

    [[noreturn]] void fail(const std::string& reason) {
        throw EReadError("Line " + std::to_string(peek().line) + ": " + reason);
    }

private:
    void skipBlanks() {
        while (m_pos < m_text.size()) {
            char c = m_text[m_pos];
            if (c == '\n') {
                ++m_line;
                ++m_pos;
            } else if (static_cast<unsigned char>(c) <= ' ') {
                ++m_pos;
            } else {
                break;
            }
        }
    }

    [[noreturn]] void failHere(const std::string& reason) const {
        throw EReadError("Line " + std::to_string(m_line) + ": " + reason);
    }

    static bool identStart(char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    }
    static bool identChar(char c) { return identStart(c) || (c >= '0' && c <= '9'); }

    // One quoted part or #nn character; appends to out. Returns false when none follows.
    bool stringPart(std::string& out) {
        if (m_pos >= m_text.size())
            return false;
        char c = m_text[m_pos];
        if (c == '\'') {
            ++m_pos;
            while (true) {
                if (m_pos >= m_text.size() || m_text[m_pos] == '\n' || m_text[m_pos] == '\r')
                    failHere("Unterminated string");
                char d = m_text[m_pos++];
                if (d == '\'') {
                    if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
                        out += '\'';
                        ++m_pos;
                        continue;
                    }
                    return true;
                }
                out += d;
            }
        }
        if (c == '#') {
            ++m_pos;
            size_t start = m_pos;
            while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9')
                ++m_pos;
            unsigned value = 0;
            auto [ptr, ec] = std::from_chars(m_text.data() + start, m_text.data() + m_pos, value);
            if (start == m_pos || ec != std::errc() || value > 255)
                failHere("Invalid character code");
            out += static_cast<char>(value);
            return true;
        }
        return false;
    }

    Token scan() {
        skipBlanks();
        Token t;
        t.line = m_line;
        if (m_pos >= m_text.size())
            return t;
        char c = m_text[m_pos];
        if (identStart(c)) {
            scanIdent(t);
        } else if (c == '\'' || c == '#') {
            scanString(t);
        } else if ((c >= '0' && c <= '9') || c == '-' || c == '+') {
            scanNumber(t);
        } else if (c == '{') {
            scanBinary(t);
        } else if (std::string("=:()<>[],").find(c) != std::string::npos) {
            ++m_pos;
            t.kind = Tok::Symbol;
            t.text = std::string(1, c);
        } else {
            failHere(std::string("Invalid character '") +
                     (static_cast<unsigned char>(c) < 32 ? '?' : c) + "'");
        }
        return t;
    }

    // A name, dotted names included (Font.Style).
    void scanIdent(Token& t) {
        size_t start = m_pos;
        while (m_pos < m_text.size() &&
               (identChar(m_text[m_pos]) || (m_text[m_pos] == '.' && m_pos + 1 < m_text.size() &&
                                             identStart(m_text[m_pos + 1]))))
            ++m_pos;
        t.kind = Tok::Ident;
        t.text = m_text.substr(start, m_pos - start);
    }

    // Quoted parts and #nn characters, joined; 'a' + (line break) 'b' continues the same text.
    void scanString(Token& t) {
        t.kind = Tok::String;
        while (true) {
            while (stringPart(t.text)) {
            }
            size_t save = m_pos;
            int saveLine = m_line;
            skipBlanks();
            if (m_pos < m_text.size() && m_text[m_pos] == '+') {
                ++m_pos;
                skipBlanks();
                if (m_pos < m_text.size() && (m_text[m_pos] == '\'' || m_text[m_pos] == '#'))
                    continue;
                failHere("String expected after +");
            }
            m_pos = save;
            m_line = saveLine;
            return;
        }
    }

    // An integer, or a float (a '.' or an exponent, INF, or a c/d/s suffix).
    void scanNumber(Token& t) {
        const char c = m_text[m_pos];
        size_t start = m_pos;
        if (c == '-' || c == '+')
            ++m_pos;
        if (m_pos + 2 < m_text.size() + 0 && m_text.compare(m_pos, 3, "INF") == 0) {
            m_pos += 3;
            t.kind = Tok::Float;
            t.number = c == '-' ? -HUGE_VAL : HUGE_VAL;
            return;
        }
        bool isFloat = false;
        while (m_pos < m_text.size()) {
            char d = m_text[m_pos];
            if (d >= '0' && d <= '9') {
                ++m_pos;
            } else if (d == '.' || d == 'e' || d == 'E') {
                isFloat = true;
                ++m_pos;
                if ((d == 'e' || d == 'E') && m_pos < m_text.size() &&
                    (m_text[m_pos] == '-' || m_text[m_pos] == '+'))
                    ++m_pos;
            } else {
                break;
            }
        }
        const char* first = m_text.data() + start;
        if (*first == '+')
            ++first;
        const char* last = m_text.data() + m_pos;
        if (isFloat) {
            auto [ptr, ec] = std::from_chars(first, last, t.number);
            if (ec != std::errc() || ptr != last)
                failHere("Invalid number");
            t.kind = Tok::Float;
        } else {
            auto [ptr, ec] = std::from_chars(first, last, t.integer);
            if (ec != std::errc() || ptr != last)
                failHere("Invalid number");
            t.kind = Tok::Integer;
        }
        if (m_pos < m_text.size() &&
            (m_text[m_pos] == 'c' || m_text[m_pos] == 'd' || m_text[m_pos] == 's')) {
            if (t.kind == Tok::Integer)
                t.number = static_cast<double>(t.integer);
            t.kind = Tok::Float;
            t.suffix = m_text[m_pos++];
        }
        if (m_pos < m_text.size() && identChar(m_text[m_pos]))
            failHere("Invalid number");
    }

    // {hex digits}, blanks between them allowed; an odd count of digits is an error.
    void scanBinary(Token& t) {
        ++m_pos;
        t.kind = Tok::Binary;
        int high = -1;
        while (true) {
            skipBlanks();
            if (m_pos >= m_text.size())
                failHere("Unterminated binary value");
            char d = m_text[m_pos++];
            if (d == '}')
                break;
            int v = (d >= '0' && d <= '9')   ? d - '0'
                    : (d >= 'A' && d <= 'F') ? d - 'A' + 10
                    : (d >= 'a' && d <= 'f') ? d - 'a' + 10
                                             : -1;
            if (v < 0)
                failHere("Invalid binary value");
            if (high < 0) {
                high = v;
            } else {
                t.text += static_cast<char>(high * 16 + v);
                high = -1;
            }
        }
        if (high >= 0)
            failHere("Invalid binary value");
    }

    std::string m_text;
    size_t m_pos = 0;
    int m_line = 1;
    Token m_peek;
    bool m_havePeek = false;
};

struct Fixup {
    TPersistent* instance;
    TPropInfo prop;
    std::string path;
    std::string context;
};

} // namespace

struct TReader::Impl {
    explicit Impl(std::string text) : lexer(std::move(text)) {}
    Lexer lexer;
    std::vector<TComponent*> created;
    std::vector<TComponent*> loaded;
    std::vector<Fixup> fixups;
    std::string defName;
    bool defFound = false;
    std::string context; // "Query1.SQL" for messages
    int depth = 0;
};

TReader::TReader(std::string text) : m_impl(std::make_unique<Impl>(std::move(text))) {}
TReader::~TReader() = default;

int TReader::Line() const {
    return m_impl->lexer.peek().line;
}

namespace {
bool isIdent(const Token& t, const char* word) {
    return t.kind == Tok::Ident && SameText(t.text, word);
}
bool isSymbol(const Token& t, char c) {
    return t.kind == Tok::Symbol && t.text.size() == 1 && t.text[0] == c;
}
} // namespace

TValueType TReader::NextValue() {
    const Token& t = m_impl->lexer.peek();
    switch (t.kind) {
    case Tok::String:
        return vaString;
    case Tok::Integer:
        return (t.integer >= std::numeric_limits<int32_t>::min() &&
                t.integer <= std::numeric_limits<int32_t>::max())
                   ? vaInt32
                   : vaInt64;
    case Tok::Float:
        return t.suffix == 'c'   ? vaCurrency
               : t.suffix == 'd' ? vaDate
               : t.suffix == 's' ? vaSingle
                                 : vaExtended;
    case Tok::Binary:
        return vaBinary;
    case Tok::Symbol:
        if (isSymbol(t, '('))
            return vaList;
        if (isSymbol(t, '<'))
            return vaCollection;
        if (isSymbol(t, '['))
            return vaSet;
        m_impl->lexer.fail("Value expected");
    case Tok::Ident:
        if (SameText(t.text, "True"))
            return vaTrue;
        if (SameText(t.text, "False"))
            return vaFalse;
        if (SameText(t.text, "nil"))
            return vaNil;
        if (SameText(t.text, "Null"))
            return vaNull;
        if (t.text == "NAN" || t.text == "INF")
            return vaExtended;
        return vaIdent;
    case Tok::End:
        break;
    }
    m_impl->lexer.fail("Unexpected end of text");
}

TValueType TReader::ReadValue() {
    TValueType v = NextValue();
    if (v == vaSet) {
        m_impl->lexer.next();
        while (!isSymbol(m_impl->lexer.peek(), ']')) {
            if (m_impl->lexer.peek().kind == Tok::End)
                m_impl->lexer.fail("Unterminated set");
            m_impl->lexer.next();
        }
    }
    m_impl->lexer.next();
    return v;
}

void TReader::ReadListBegin() {
    if (!isSymbol(m_impl->lexer.peek(), '('))
        m_impl->lexer.fail("List expected");
    m_impl->lexer.next();
}

void TReader::ReadListEnd() {
    if (!isSymbol(m_impl->lexer.peek(), ')'))
        m_impl->lexer.fail("End of list expected");
    m_impl->lexer.next();
}

bool TReader::EndOfList() {
    const Token& t = m_impl->lexer.peek();
    if (t.kind == Tok::End)
        m_impl->lexer.fail("Unexpected end of text");
    return isSymbol(t, ')') || isSymbol(t, '>');
}

std::string TReader::ReadString() {
    if (m_impl->lexer.peek().kind != Tok::String)
        m_impl->lexer.fail("String expected");
    return m_impl->lexer.next().text;
}

int64_t TReader::ReadInt64() {
    if (m_impl->lexer.peek().kind != Tok::Integer)
        m_impl->lexer.fail("Integer expected");
    return m_impl->lexer.next().integer;
}

int32_t TReader::ReadInteger() {
    const Token& t = m_impl->lexer.peek();
    if (t.kind != Tok::Integer || t.integer < std::numeric_limits<int32_t>::min() ||
        t.integer > std::numeric_limits<int32_t>::max())
        m_impl->lexer.fail("Integer expected");
    return static_cast<int32_t>(m_impl->lexer.next().integer);
}

double TReader::ReadFloat() {
    const Token& t = m_impl->lexer.peek();
    if (t.kind == Tok::Integer)
        return static_cast<double>(m_impl->lexer.next().integer);
    if (t.kind == Tok::Float)
        return m_impl->lexer.next().number;
    if (t.kind == Tok::Ident && t.text == "NAN") {
        m_impl->lexer.next();
        return std::nan("");
    }
    if (t.kind == Tok::Ident && t.text == "INF") {
        m_impl->lexer.next();
        return HUGE_VAL;
    }
    m_impl->lexer.fail("Number expected");
}

double TReader::ReadCurrency() {
    return ReadFloat();
}
TDateTime TReader::ReadDate() {
    return ReadFloat();
}

bool TReader::ReadBoolean() {
    const Token& t = m_impl->lexer.peek();
    if (isIdent(t, "True")) {
        m_impl->lexer.next();
        return true;
    }
    if (isIdent(t, "False")) {
        m_impl->lexer.next();
        return false;
    }
    m_impl->lexer.fail("Boolean expected");
}

std::string TReader::ReadIdent() {
    if (m_impl->lexer.peek().kind != Tok::Ident)
        m_impl->lexer.fail("Identifier expected");
    return m_impl->lexer.next().text;
}

Variant TReader::ReadVariant() {
    switch (NextValue()) {
    case vaNil:
        m_impl->lexer.next();
        return Variant();
    case vaNull:
        m_impl->lexer.next();
        return Null();
    case vaTrue:
    case vaFalse:
        return Variant(ReadBoolean());
    case vaInt32:
        return Variant(static_cast<int32_t>(ReadInteger()));
    case vaInt64:
        return Variant(static_cast<long long>(ReadInt64()));
    case vaSingle:
        return Variant(static_cast<float>(ReadFloat()));
    case vaCurrency:
        return VarFromCurrency(ReadFloat());
    case vaDate:
        return VarFromDateTime(ReadFloat());
    case vaExtended:
        return Variant(ReadFloat());
    case vaString:
        return Variant(ReadString());
    case vaBinary:
        return VarFromBytes(m_impl->lexer.next().text);
    case vaList: {
        if (++m_impl->depth > kMaxDepth)
            m_impl->lexer.fail("Values nested too deeply");
        ReadListBegin();
        std::vector<Variant> items;
        while (!EndOfList())
            items.push_back(ReadVariant());
        ReadListEnd();
        --m_impl->depth;
        return VarArrayOf(items);
    }
    default:
        m_impl->lexer.fail("Variant value expected");
    }
}

void TReader::DefineProperty(const std::string& Name, TReaderProc ReadData,
                             TWriterProc /*WriteData*/, bool /*HasData*/) {
    if (m_impl->defFound || !SameText(Name, m_impl->defName))
        return;
    m_impl->defFound = true;
    if (!ReadData)
        m_impl->lexer.fail("Property " + Name + " cannot be read");
    ReadData(this);
}

void TReader::DefineBinaryProperty(const std::string& Name, TStreamProc ReadData,
                                   TStreamProc /*WriteData*/, bool /*HasData*/) {
    if (m_impl->defFound || !SameText(Name, m_impl->defName))
        return;
    m_impl->defFound = true;
    if (m_impl->lexer.peek().kind != Tok::Binary)
        m_impl->lexer.fail("Binary value expected");
    std::string bytes = m_impl->lexer.next().text;
    TMemoryStream stream;
    if (!bytes.empty())
        stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    stream.SetPosition(0);
    if (ReadData)
        ReadData(&stream);
}

namespace {

// Reading of properties and component blocks, with access to the reader's state.
class ReadSession {
public:
    ReadSession(TReader& reader, TReader::Impl& impl, Lexer& lexer)
        : m_reader(reader), m_impl(impl), m_lexer(lexer) {}

    void readProperties(TPersistent* instance, const std::string& context) {
        while (true) {
            const Token& t = m_lexer.peek();
            if (t.kind != Tok::Ident || isIdent(t, "end") || isIdent(t, "object") ||
                isIdent(t, "inherited") || isIdent(t, "inline"))
                return;
            readProperty(instance, context);
        }
    }

    void readProperty(TPersistent* instance, const std::string& context) {
        Token nameTok = m_lexer.next();
        if (!isSymbol(m_lexer.peek(), '='))
            m_lexer.fail("'=' expected after " + nameTok.text);
        m_lexer.next();
        const std::string path = nameTok.text;
        const std::string where = context.empty() ? path : context + "." + path;
        try {
            TPersistent* target = instance;
            std::string rest = path;
            size_t dot = 0;
            while ((dot = rest.find('.')) != std::string::npos) {
                std::string part = rest.substr(0, dot);
                rest = rest.substr(dot + 1);
                auto prop = GetPropInfo(target, part);
                if (!prop || prop->kind != tkClass || prop->isReference || !prop->getObject)
                    throw EReadError("Property " + part + " does not exist");
                target = prop->getObject(target);
                if (!target)
                    throw EReadError("Property " + part + " has no object");
            }
            auto prop = GetPropInfo(target, rest);
            if (prop) {
                readValue(target, *prop, where);
            } else {
                std::string savedName = m_impl.defName;
                bool savedFound = m_impl.defFound;
                m_impl.defName = rest;
                m_impl.defFound = false;
                target->DefineProperties(&m_reader);
                bool found = m_impl.defFound;
                m_impl.defName = savedName;
                m_impl.defFound = savedFound;
                if (!found)
                    throw EReadError("Property " + rest + " does not exist");
            }
        } catch (const EReadError& e) {
            if (e.Message().rfind("Error reading ", 0) == 0 || e.Message().rfind("Line ", 0) == 0)
                throw;
            throw EReadError("Error reading " + where + ": " + e.Message());
        } catch (const Exception& e) {
            throw EReadError("Error reading " + where + ": " + e.Message());
        }
    }

    void readValue(TPersistent* target, const TPropInfo& prop, const std::string& where) {
        switch (prop.kind) {
        case tkClass:
            if (prop.isReference) {
                std::string refPath;
                if (isIdent(m_lexer.peek(), "nil")) {
                    m_lexer.next();
                } else {
                    refPath = m_reader.ReadIdent();
                }
                if (!prop.setObject)
                    throw EReadError("Property " + prop.name + " is read-only");
                m_impl.fixups.push_back(Fixup{target, prop, refPath, where});
                return;
            }
            if (auto* coll =
                    dynamic_cast<TCollection*>(prop.getObject ? prop.getObject(target) : nullptr)) {
                if (m_reader.ReadValue() != vaCollection)
                    throw EReadError("Invalid property value");
                m_reader.ReadCollection(coll);
                return;
            }
            throw EReadError("Invalid property value");
        case tkMethod: {
            std::string handler;
            if (isIdent(m_lexer.peek(), "nil"))
                m_lexer.next();
            else
                handler = m_reader.ReadIdent();
            if (!prop.setHandler)
                throw EReadError("Property " + prop.name + " is read-only");
            if (!prop.setHandler(target, handler, m_reader.Root()))
                throw EReadError(
                    "Method " + handler + " not found in " +
                    (m_reader.Root() ? m_reader.Root()->ClassName() : std::string("the root")));
            return;
        }
        default:
            break;
        }
        if (!prop.setValue)
            throw EReadError("Property " + prop.name + " is read-only");
        Variant value;
        switch (prop.kind) {
        case tkInteger:
            value = Variant(m_reader.ReadInteger());
            break;
        case tkInt64:
            value = Variant(static_cast<long long>(m_reader.ReadInt64()));
            break;
        case tkFloat:
            value = Variant(m_reader.ReadFloat());
            break;
        case tkString:
            value = Variant(m_reader.ReadString());
            break;
        case tkBool:
            value = Variant(m_reader.ReadBoolean());
            break;
        case tkEnumeration: {
            if (m_lexer.peek().kind == Tok::Integer) {
                value = Variant(m_reader.ReadInteger());
                if (value.AsInteger() < 0 ||
                    value.AsInteger() >= static_cast<int>(prop.enumNames.size()))
                    throw EReadError("Invalid property value");
                break;
            }
            std::string ident = m_reader.ReadIdent();
            value = Variant(enumOrdinal(prop, ident));
            break;
        }
        case tkSet: {
            if (!isSymbol(m_lexer.peek(), '['))
                throw EReadError("Invalid property value");
            m_lexer.next();
            uint64_t bits = 0;
            while (!isSymbol(m_lexer.peek(), ']')) {
                int ord = enumOrdinal(prop, m_reader.ReadIdent());
                if (ord >= 64)
                    throw EReadError("Invalid property value");
                bits |= uint64_t{1} << ord;
                if (isSymbol(m_lexer.peek(), ','))
                    m_lexer.next();
                else if (!isSymbol(m_lexer.peek(), ']'))
                    throw EReadError("Invalid property value");
            }
            m_lexer.next();
            value = Variant(static_cast<long long>(bits));
            break;
        }
        case tkVariant:
            value = m_reader.ReadVariant();
            break;
        default:
            throw EReadError("Invalid property value");
        }
        (void)where;
        prop.setValue(target, value);
    }

    static int enumOrdinal(const TPropInfo& prop, const std::string& ident) {
        for (size_t i = 0; i < prop.enumNames.size(); ++i) {
            if (SameText(prop.enumNames[i], ident))
                return static_cast<int>(i);
        }
        throw EReadError("Invalid property value " + ident);
    }

    // Reads one `object`/`inherited` block. instance: the component to read into (root),
    // or nullptr to find or create one owned by owner.
    TComponent* readComponent(TComponent* owner, TComponent* instance, TComponent* rootOwner) {
        if (++m_impl.depth > kMaxDepth)
            m_lexer.fail("Components nested too deeply");
        Token kw = m_lexer.next();
        bool inherited = isIdent(kw, "inherited");
        if (!isIdent(kw, "object") && !inherited && !isIdent(kw, "inline")) {
            if (kw.kind == Tok::End)
                throw EReadError("Line " + std::to_string(kw.line) + ": Unexpected end of text");
            throw EReadError("Line " + std::to_string(kw.line) + ": 'object' expected");
        }
        std::string first = m_reader.ReadIdent();
        std::string name;
        std::string className = first;
        if (isSymbol(m_lexer.peek(), ':')) {
            m_lexer.next();
            name = first;
            className = m_reader.ReadIdent();
        }
        if (!name.empty() && !IsValidIdent(name))
            m_lexer.fail("Invalid component name " + name);
        const int headerLine = kw.line;

        TComponent* c = instance;
        if (c) {
            if (!SameText(c->ClassName(), className))
                throw EReadError("Line " + std::to_string(headerLine) + ": Stream class " +
                                 className + " does not match instance class " + c->ClassName());
        } else {
            // A component the owner already had before this read (made by its constructor, or
            // inherited) is read into; one met earlier in this text is a duplicate.
            TComponent* existing = owner ? owner->FindComponent(name) : nullptr;
            if (existing && std::find(m_impl.loaded.begin(), m_impl.loaded.end(), existing) !=
                                m_impl.loaded.end())
                throw EReadError("Line " + std::to_string(headerLine) + ": A component named " +
                                 name + " already exists");
            if (existing && SameText(existing->ClassName(), className)) {
                c = existing;
            } else if (inherited) {
                throw EReadError("Line " + std::to_string(headerLine) + ": Ancestor for '" + name +
                                 "' not found");
            } else {
                TComponentFactory factory = FindClassFactory(className);
                if (!factory)
                    throw EClassNotFound("Line " + std::to_string(headerLine) + ": Class " +
                                         className + " not found");
                c = factory(owner ? owner : rootOwner);
                if (!c)
                    throw EReadError("Line " + std::to_string(headerLine) + ": Class " + className +
                                     " could not be created");
                m_impl.created.push_back(c);
            }
        }
        if (!m_reader.Root())
            m_reader.SetRoot(c);
        if (std::find(m_impl.loaded.begin(), m_impl.loaded.end(), c) == m_impl.loaded.end())
            m_impl.loaded.push_back(c);
        c->ReadStateBegin();
        if (!name.empty() && c->Name() != name) {
            try {
                c->SetName(name);
            } catch (const Exception& e) {
                throw EReadError("Line " + std::to_string(headerLine) + ": " + e.Message());
            }
        }
        std::string context = c->Name().empty() ? c->ClassName() : c->Name();
        readProperties(c, context);
        while (isIdent(m_lexer.peek(), "object") || isIdent(m_lexer.peek(), "inherited") ||
               isIdent(m_lexer.peek(), "inline"))
            readComponent(c, nullptr, nullptr);
        if (!isIdent(m_lexer.peek(), "end")) {
            if (m_lexer.peek().kind == Tok::End)
                m_lexer.fail("Unexpected end of text, 'end' expected");
            m_lexer.fail("Property or 'end' expected, found '" + m_lexer.peek().text + "'");
        }
        m_lexer.next();
        c->ReadStateEnd();
        --m_impl.depth;
        return c;
    }

private:
    TReader& m_reader;
    TReader::Impl& m_impl;
    Lexer& m_lexer;
};

TComponent* resolvePath(TComponent* root, const std::string& path) {
    if (path.empty())
        return nullptr;
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t dot = path.find('.', start);
        parts.push_back(
            path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    TComponent* c = root;
    size_t i = 0;
    if (SameText(parts[0], root->Name()) && !root->FindComponent(parts[0])) {
        if (parts.size() == 1)
            return root;
        i = 1;
    }
    for (; i < parts.size() && c; ++i)
        c = c->FindComponent(parts[i]);
    return c;
}

} // namespace

void TReader::ReadCollection(TCollection* Collection) {
    if (!Collection)
        m_impl->lexer.fail("No collection to read into");
    if (++m_impl->depth > kMaxDepth)
        m_impl->lexer.fail("Values nested too deeply");
    ReadSession session(*this, *m_impl, m_impl->lexer);
    Collection->BeginUpdate();
    try {
        Collection->Clear();
        while (!isSymbol(m_impl->lexer.peek(), '>')) {
            const Token& t = m_impl->lexer.peek();
            if (t.kind == Tok::End)
                m_impl->lexer.fail("Unexpected end of text in collection");
            if (!isIdent(t, "item"))
                m_impl->lexer.fail("'item' expected");
            m_impl->lexer.next();
            TCollectionItem* item = Collection->Add();
            std::string context =
                Collection->GetNamePath() + "[" + std::to_string(item->Index()) + "]";
            session.readProperties(item, context);
            if (!isIdent(m_impl->lexer.peek(), "end"))
                m_impl->lexer.fail("Property or 'end' expected in collection item");
            m_impl->lexer.next();
        }
        m_impl->lexer.next();
    } catch (...) {
        Collection->EndUpdate();
        throw;
    }
    Collection->EndUpdate();
    --m_impl->depth;
}

TComponent* TReader::ReadRootComponent(TComponent* Instance, TComponent* Owner) {
    ReadSession session(*this, *m_impl, m_impl->lexer);
    m_root = Instance;
    try {
        TComponent* root = session.readComponent(nullptr, Instance, Owner);
        m_root = root;
        if (m_impl->lexer.peek().kind != Tok::End)
            m_impl->lexer.fail("Text after the end of the root component");
        for (Fixup& f : m_impl->fixups) {
            TComponent* target = nullptr;
            if (!f.path.empty()) {
                target = resolvePath(root, f.path);
                if (!target)
                    throw EReadError("Error reading " + f.context + ": Unresolved reference to " +
                                     f.path);
            }
            try {
                f.prop.setObject(f.instance, target);
            } catch (const Exception& e) {
                throw EReadError("Error reading " + f.context + ": " + e.Message());
            }
        }
        for (TComponent* c : m_impl->loaded)
            c->Loaded();
        for (TComponent* c : m_impl->loaded) {
            c->SetComponentStateFlag(csLoading, false);
            c->SetComponentStateFlag(csReading, false);
        }
        m_impl->loaded.clear();
        m_impl->created.clear();
        m_impl->fixups.clear();
        return root;
    } catch (...) {
        // Nothing half-built stays: what was created here goes, last created first.
        std::vector<TComponent*> created = std::move(m_impl->created);
        for (TComponent* c : m_impl->loaded) {
            if (std::find(created.begin(), created.end(), c) == created.end()) {
                c->SetComponentStateFlag(csLoading, false);
                c->SetComponentStateFlag(csReading, false);
            }
        }
        m_impl->loaded.clear();
        m_impl->fixups.clear();
        for (auto it = created.rbegin(); it != created.rend(); ++it)
            delete *it;
        m_root = nullptr;
        throw;
    }
}

TComponent* TextToComponent(const std::string& Text, TComponent* Instance, TComponent* Owner) {
    TReader reader(Text);
    return reader.ReadRootComponent(Instance, Owner);
}

TComponent* ReadComponentText(TStream* Stream, TComponent* Instance, TComponent* Owner) {
    int64_t size = Stream->Size() - Stream->Position();
    if (size < 0)
        size = 0;
    if (static_cast<uint64_t>(size) > kMaxTextSize)
        throw EReadError("Component text too large");
    std::string text(static_cast<size_t>(size), '\0');
    if (size > 0)
        Stream->ReadBuffer(text.data(), size);
    return TextToComponent(text, Instance, Owner);
}

} // namespace host
