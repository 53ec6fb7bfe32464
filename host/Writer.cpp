// TWriter: writes a component tree and values in the readable text form.
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "tovrin5/host/Collection.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/host/Streams.h"
#include "tovrin5/host/Strings.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

TFiler::~TFiler() = default;

TWriter::TWriter() = default;
TWriter::~TWriter() = default;

namespace {

// Sets a component state flag for a scope.
class StateFlag {
public:
    StateFlag(TComponent* c, TComponentStateItem flag)
        : m_c(c), m_flag(flag), m_wasSet(c->ComponentState().Contains(flag)) {
        m_c->SetComponentStateFlag(m_flag, true);
    }
    ~StateFlag() {
        if (!m_wasSet)
            m_c->SetComponentStateFlag(m_flag, false);
    }
    StateFlag(const StateFlag&) = delete;
    StateFlag& operator=(const StateFlag&) = delete;

private:
    TComponent* m_c;
    TComponentStateItem m_flag;
    bool m_wasSet;
};

std::string quoteText(const std::string& s) {
    if (s.empty())
        return "''";
    std::string out;
    bool inQuote = false;
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 32 || c == 127) {
            if (inQuote) {
                out += '\'';
                inQuote = false;
            }
            out += '#';
            out += std::to_string(c);
        } else {
            if (!inQuote) {
                out += '\'';
                inQuote = true;
            }
            if (ch == '\'')
                out += '\'';
            out += ch;
        }
    }
    if (inQuote)
        out += '\'';
    return out;
}

std::string floatText(double v) {
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    char buf[64];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
    std::string s(buf, ec == std::errc() ? ptr : buf);
    if (s.find_first_of(".e") == std::string::npos)
        s += ".0";
    return s;
}

// Name of a referenced component as seen from the root: "Name", "Owner.Name", ...
std::string referencePath(TComponent* root, TComponent* c) {
    if (!c || c->Name().empty())
        return {};
    if (c == root)
        return c->Name();
    std::string path = c->Name();
    for (TComponent* o = c->Owner(); o; o = o->Owner()) {
        if (o == root)
            return path;
        if (o->Name().empty())
            return {};
        path = o->Name() + "." + path;
    }
    return path; // outside the written tree: the full path from its top owner
}

std::vector<TComponent*> childrenOf(TComponent* c, TComponent* root) {
    std::vector<TComponent*> children;
    c->GetChildren([&](TComponent* child) { children.push_back(child); }, root);
    return children;
}

bool isDefaultScalar(const TPropInfo& prop, const Variant& value) {
    if (prop.defaultValue)
        return value == *prop.defaultValue;
    switch (prop.kind) {
    case tkString:
        return value.AsString().empty();
    case tkFloat:
        return value.AsFloat() == 0;
    case tkInt64:
        return value.AsInt64() == 0;
    case tkVariant:
        return value.IsEmpty();
    default:
        return false;
    }
}

} // namespace

void TWriter::newLine() {
    if (!m_out.empty())
        m_out += '\n';
    m_out.append(static_cast<size_t>(m_indent) * 2, ' ');
    m_atLineStart = false;
}

void TWriter::valueSeparator() {
    // Inside a list every value goes on its own line.
    if (m_listDepth > 0)
        newLine();
    m_firstInList = false;
}

void TWriter::beginProperty(const std::string& name) {
    newLine();
    m_out += name;
    m_out += " = ";
}

void TWriter::WriteDescendent(TComponent* Root, TComponent* RootAncestor) {
    m_root = Root;
    m_rootAncestor = RootAncestor;
    m_out.clear();
    m_indent = 0;
    m_listDepth = 0;
    // The root block is a component block whose ancestor is the root's ancestor.
    TPersistent* savedAncestor = m_ancestor;
    m_ancestor = RootAncestor;
    try {
        WriteComponent(Root);
    } catch (...) {
        m_ancestor = savedAncestor;
        throw;
    }
    m_ancestor = savedAncestor;
    m_out += '\n';
}

void TWriter::WriteComponent(TComponent* Component) {
    if (!m_root)
        m_root = Component;
    auto* anc = dynamic_cast<TComponent*>(m_ancestor);
    StateFlag writing(Component, csWriting);
    newLine();
    m_out += anc ? "inherited " : "object ";
    if (!Component->Name().empty())
        m_out += Component->Name() + ": ";
    m_out += Component->ClassName();
    ++m_indent;
    writeProperties(Component, anc, "");
    for (TComponent* child : childrenOf(Component, m_root)) {
        TPersistent* savedAncestor = m_ancestor;
        m_ancestor = anc ? anc->FindComponent(child->Name()) : nullptr;
        WriteComponent(child);
        m_ancestor = savedAncestor;
    }
    --m_indent;
    newLine();
    m_out += "end";
}

void TWriter::writeProperties(TPersistent* instance, TPersistent* ancestor,
                              const std::string& prefix) {
    TPropList props = GetPropList(instance);
    for (const TPropInfo& prop : props)
        writeProperty(instance, ancestor, prop, prefix);
    TPersistent* savedAncestor = m_ancestor;
    std::string savedPath = m_propPath;
    m_ancestor = ancestor;
    m_propPath = prefix;
    try {
        instance->DefineProperties(this);
    } catch (...) {
        m_ancestor = savedAncestor;
        m_propPath = savedPath;
        throw;
    }
    m_ancestor = savedAncestor;
    m_propPath = savedPath;
}

namespace {
std::string enumText(const TPropInfo& prop, int ord) {
    if (ord >= 0 && ord < static_cast<int>(prop.enumNames.size()))
        return prop.enumNames[static_cast<size_t>(ord)];
    return std::to_string(ord);
}

// [a, b]: the names of the set bits, a number where the type names no element.
std::string setText(const TPropInfo& prop, uint64_t bits) {
    std::string text = "[";
    bool first = true;
    for (size_t i = 0; i < 64; ++i) {
        if (!(bits & (uint64_t{1} << i)))
            continue;
        if (!first)
            text += ", ";
        first = false;
        text += i < prop.enumNames.size() ? prop.enumNames[i] : std::to_string(i);
    }
    return text + ']';
}
} // namespace

// One function per kind of property: an event handler's name, an object (a reference, a
// collection or nested properties), a scalar value. Each writes nothing where the value
// equals the ancestor's (or, without an ancestor, the default).
struct WriterImpl {
    static void method(TWriter& w, TPersistent* instance, TPersistent* ancestor,
                       const TPropInfo& prop, const std::string& name) {
        if (!prop.getHandlerName)
            return;
        std::optional<std::string> ancestorHandler;
        if (ancestor)
            ancestorHandler = prop.getHandlerName(ancestor);
        identifier(w, name, prop.getHandlerName(instance), ancestorHandler);
    }

    static void object(TWriter& w, TPersistent* instance, TPersistent* ancestor,
                       const TPropInfo& prop, const std::string& name) {
        if (!prop.getObject)
            return;
        TPersistent* obj = prop.getObject(instance);
        TPersistent* ancObj = ancestor ? prop.getObject(ancestor) : nullptr;
        if (prop.isReference) {
            reference(w, obj, ancestor != nullptr, ancObj, name);
            return;
        }
        if (!obj)
            return;
        if (auto* coll = dynamic_cast<TCollection*>(obj)) {
            collection(w, coll, dynamic_cast<TCollection*>(ancObj), name);
            return;
        }
        if (dynamic_cast<TComponent*>(obj))
            return; // components are written in their own blocks
        w.writeProperties(obj, ancObj, name + ".");
    }

    // A reference to a component, by its path from the root.
    static void reference(TWriter& w, TPersistent* obj, bool hasAncestor, TPersistent* ancObj,
                          const std::string& name) {
        std::optional<std::string> ancestorPath;
        if (hasAncestor)
            ancestorPath = referencePath(w.m_rootAncestor, dynamic_cast<TComponent*>(ancObj));
        identifier(w, name, referencePath(w.m_root, dynamic_cast<TComponent*>(obj)), ancestorPath);
    }

    // `name = ident` for a handler's or a component's name: nothing when there is none, or
    // when it is the ancestor's (ancestorIdent empty: no ancestor to compare with).
    static void identifier(TWriter& w, const std::string& name, const std::string& ident,
                           const std::optional<std::string>& ancestorIdent) {
        if (ident.empty() || ancestorIdent == ident)
            return;
        w.beginProperty(name);
        w.m_out += ident;
    }

    // A collection is compared with the ancestor's by its written text.
    static void collection(TWriter& w, TCollection* coll, TCollection* ancColl,
                           const std::string& name) {
        if (ancColl) {
            TWriter a;
            a.m_root = w.m_root;
            a.WriteCollection(ancColl);
            TWriter b;
            b.m_root = w.m_root;
            b.WriteCollection(coll);
            if (a.Text() == b.Text())
                return;
        } else if (coll->Count() == 0) {
            return;
        }
        w.beginProperty(name);
        w.WriteCollection(coll);
    }

    static void scalar(TWriter& w, TPersistent* instance, TPersistent* ancestor,
                       const TPropInfo& prop, const std::string& name) {
        if (!prop.getValue)
            return;
        Variant value = prop.getValue(instance);
        if (ancestor) {
            if (prop.getValue(ancestor) == value)
                return;
        } else if (isDefaultScalar(prop, value)) {
            return;
        }
        w.beginProperty(name);
        switch (prop.kind) {
        case tkInteger:
        case tkInt64:
            w.m_out += IntToStr(value.AsInt64());
            break;
        case tkFloat:
            w.m_out += floatText(value.AsFloat());
            break;
        case tkString:
            w.m_out += quoteText(value.AsString());
            break;
        case tkBool:
            w.m_out += value.AsBoolean() ? "True" : "False";
            break;
        case tkEnumeration:
            w.m_out += enumText(prop, value.AsInteger());
            break;
        case tkSet:
            w.m_out += setText(prop, static_cast<uint64_t>(value.AsInt64()));
            break;
        case tkVariant: {
            int saved = w.m_listDepth;
            w.m_listDepth = 0;
            w.WriteVariant(value);
            w.m_listDepth = saved;
            break;
        }
        default:
            throw EWriteError("Property " + name + " has a kind that cannot be written");
        }
    }
};

void TWriter::writeProperty(TPersistent* instance, TPersistent* ancestor, const TPropInfo& prop,
                            const std::string& prefix) {
    if (prop.isStored && !prop.isStored(instance))
        return;
    const std::string name = prefix + prop.name;
    if (prop.kind == tkMethod)
        WriterImpl::method(*this, instance, ancestor, prop, name);
    else if (prop.kind == tkClass)
        WriterImpl::object(*this, instance, ancestor, prop, name);
    else
        WriterImpl::scalar(*this, instance, ancestor, prop, name);
}

void TWriter::DefineProperty(const std::string& Name, TReaderProc /*ReadData*/,
                             TWriterProc WriteData, bool HasData) {
    if (!HasData || !WriteData)
        return;
    beginProperty(m_propPath + Name);
    int savedDepth = m_listDepth;
    m_listDepth = 0;
    WriteData(this);
    m_listDepth = savedDepth;
}

void TWriter::DefineBinaryProperty(const std::string& Name, TStreamProc /*ReadData*/,
                                   TStreamProc WriteData, bool HasData) {
    if (!HasData || !WriteData)
        return;
    TMemoryStream stream;
    WriteData(&stream);
    beginProperty(m_propPath + Name);
    std::string bytes(
        static_cast<const char*>(stream.Memory()) ? static_cast<const char*>(stream.Memory()) : "",
        static_cast<size_t>(stream.Size()));
    int savedDepth = m_listDepth;
    m_listDepth = 0;
    WriteVariant(VarFromBytes(bytes));
    m_listDepth = savedDepth;
}

void TWriter::WriteListBegin() {
    valueSeparator();
    m_out += '(';
    ++m_indent;
    ++m_listDepth;
    m_firstInList = true;
}

void TWriter::WriteListEnd() {
    if (m_listDepth <= 0)
        throw EWriteError("List end without list begin");
    m_out += ')';
    --m_indent;
    --m_listDepth;
}

void TWriter::WriteString(const std::string& Value) {
    valueSeparator();
    m_out += quoteText(Value);
}

void TWriter::WriteInteger(int64_t Value) {
    valueSeparator();
    m_out += IntToStr(Value);
}

void TWriter::WriteFloat(double Value) {
    valueSeparator();
    m_out += floatText(Value);
}

void TWriter::WriteCurrency(double Value) {
    valueSeparator();
    m_out += floatText(Value) + "c";
}

void TWriter::WriteDate(TDateTime Value) {
    valueSeparator();
    m_out += floatText(Value) + "d";
}

void TWriter::WriteBoolean(bool Value) {
    valueSeparator();
    m_out += Value ? "True" : "False";
}

void TWriter::WriteIdent(const std::string& Ident) {
    valueSeparator();
    m_out += Ident;
}

void TWriter::WriteVariant(const Variant& Value) {
    TVarType t = Value.VarType();
    if (t == (varArray | varByte) && VarArrayDimCount(Value) == 1) {
        valueSeparator();
        std::string bytes = Value.AsBytes();
        static const char* const kHex = "0123456789ABCDEF";
        m_out += '{';
        ++m_indent;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i % 32 == 0)
                newLine();
            auto b = static_cast<unsigned char>(bytes[i]);
            m_out += kHex[b >> 4];
            m_out += kHex[b & 15];
        }
        --m_indent;
        m_out += '}';
        return;
    }
    if (Value.IsArray()) {
        if (VarArrayDimCount(Value) != 1)
            throw EWriteError("Only one-dimensional variant arrays can be written");
        WriteListBegin();
        int lo = VarArrayLowBound(Value, 1);
        int hi = VarArrayHighBound(Value, 1);
        for (int i = lo; i <= hi; ++i)
            WriteVariant(VarArrayGet(Value, {i}));
        WriteListEnd();
        return;
    }
    switch (t) {
    case varEmpty:
        WriteIdent("nil");
        break;
    case varNull:
        WriteIdent("Null");
        break;
    case varBoolean:
        WriteBoolean(Value.AsBoolean());
        break;
    case varSingle:
        valueSeparator();
        m_out += floatText(Value.AsFloat()) + "s";
        break;
    case varDouble:
        WriteFloat(Value.AsFloat());
        break;
    case varCurrency:
        WriteCurrency(Value.AsCurrency());
        break;
    case varDate:
        WriteDate(Value.AsDateTime());
        break;
    case varString:
        WriteString(Value.AsString());
        break;
    default:
        WriteInteger(Value.AsInt64());
        break;
    }
}

void TWriter::WriteCollection(TCollection* Value) {
    valueSeparator();
    m_out += '<';
    int savedDepth = m_listDepth;
    m_listDepth = 0;
    ++m_indent;
    if (Value) {
        for (int i = 0; i < Value->Count(); ++i) {
            newLine();
            m_out += "item";
            ++m_indent;
            writeProperties(Value->Items(i), nullptr, "");
            --m_indent;
            newLine();
            m_out += "end";
        }
    }
    --m_indent;
    m_out += '>';
    m_listDepth = savedDepth;
}

std::string ComponentToText(TComponent* Root, TComponent* Ancestor) {
    TWriter writer;
    writer.WriteDescendent(Root, Ancestor);
    return writer.Text();
}

void WriteComponentText(TStream* Stream, TComponent* Root, TComponent* Ancestor) {
    std::string text = ComponentToText(Root, Ancestor);
    Stream->WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

} // namespace tovrin::host
