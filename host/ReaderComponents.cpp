// TReader: reads properties, collections and component blocks into a component tree.
#include <algorithm>

#include "tovrin5/host/Collection.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/host/ReaderState.h"
#include "tovrin5/host/Streams.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

using detail::Fixup;
using detail::isIdent;
using detail::isSymbol;
using detail::kMaxDepth;
using detail::kMaxTextSize;
using detail::Lexer;
using detail::Tok;
using detail::Token;

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

} // namespace tovrin::host
