// TReader: reads single values (strings, numbers, lists, variants) and defined properties.
#include <cmath>
#include <limits>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/host/ReaderState.h"
#include "tovrin5/host/Streams.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

using detail::isIdent;
using detail::isSymbol;
using detail::kMaxDepth;
using detail::Tok;
using detail::Token;

TReader::TReader(std::string text) : m_impl(std::make_unique<Impl>(std::move(text))) {}
TReader::~TReader() = default;

int TReader::Line() const {
    return m_impl->lexer.peek().line;
}

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

} // namespace tovrin::host
