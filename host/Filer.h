// Component streaming in a readable text form:
//
//   object Form1: TForm1
//     Tag = 3
//     object Query1: TSybQuery
//       SQL.Strings = (
//         'select * from titles'
//         'where price > :low')
//       DataSource = DataSource1
//       OnServerMessage = Form1ServerMessage
//       ParamData = <
//         item
//           Name = 'low'
//         end>
//     end
//   end
//
// Nested `object` blocks are the components a component owns. Published properties are
// written when their stored rule allows and they differ from their default (or, with an
// ancestor, from the ancestor's value); then defined properties whose has-data decision
// says so. References to other components are written by name and resolved after the
// whole tree is read; events are written by handler name and resolved through the root's
// method table. Loaded runs on every read component at the end. Damaged text raises
// EReadError and every component the reader created is destroyed again.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/Component.h"
#include "tovrin5/host/Variant.h"

namespace tovrin::host {

class TCollection;
class TStream;
class TReader;
class TWriter;

/// Kinds of values in the stream, as ReadValue and NextValue report them.
enum TValueType {
    vaNull,
    vaList,
    vaInt8,
    vaInt16,
    vaInt32,
    vaExtended,
    vaString,
    vaIdent,
    vaFalse,
    vaTrue,
    vaBinary,
    vaSet,
    vaLString,
    vaNil,
    vaCollection,
    vaSingle,
    vaCurrency,
    vaDate,
    vaWString,
    vaInt64,
    vaUTF8String
};

using TReaderProc = std::function<void(TReader*)>;
using TWriterProc = std::function<void(TWriter*)>;
using TStreamProc = std::function<void(TStream*)>;

/// Common part of TReader and TWriter: the root, the ancestor and DefineProperty.
class TFiler : public TObject {
public:
    ~TFiler() override;
    [[nodiscard]] std::string ClassName() const override { return "TFiler"; }

    /// Declares a property streamed by custom code. The writer calls WriteData when HasData
    /// is true; the reader calls ReadData when the stream holds a property of that name.
    virtual void DefineProperty(const std::string& Name, TReaderProc ReadData,
                                TWriterProc WriteData, bool HasData) = 0;
    /// Same for raw bytes, written as a hexadecimal block `{ ... }`.
    virtual void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData,
                                      TStreamProc WriteData, bool HasData) = 0;

    [[nodiscard]] TComponent* Root() const noexcept { return m_root; }
    void SetRoot(TComponent* value) noexcept { m_root = value; }
    /// While writing: the corresponding object of the ancestor (inherited form), or nullptr.
    [[nodiscard]] TPersistent* Ancestor() const noexcept { return m_ancestor; }
    void SetAncestor(TPersistent* value) noexcept { m_ancestor = value; }

protected:
    TComponent* m_root = nullptr;
    TPersistent* m_ancestor = nullptr;
};

/// Writes components and values in the text form.
class TWriter : public TFiler {
public:
    TWriter();
    ~TWriter() override;
    [[nodiscard]] std::string ClassName() const override { return "TWriter"; }

    /// Writes Root and its owned tree. With RootAncestor (a root of the same shape), only
    /// what differs from it is written and components found in it start with `inherited`.
    void WriteDescendent(TComponent* Root, TComponent* RootAncestor);
    /// Writes one component block with its properties and owned components.
    void WriteComponent(TComponent* Component);
    /// The text written so far.
    [[nodiscard]] const std::string& Text() const noexcept { return m_out; }

    void DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc WriteData,
                        bool HasData) override;
    void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                              bool HasData) override;

    // Values, for defined properties.
    void WriteListBegin();
    void WriteListEnd();
    void WriteString(const std::string& Value);
    void WriteInteger(int64_t Value);
    void WriteFloat(double Value);
    void WriteCurrency(double Value);
    void WriteDate(TDateTime Value);
    void WriteBoolean(bool Value);
    void WriteIdent(const std::string& Ident);
    void WriteVariant(const Variant& Value);
    /// `< item <published properties> end ... >`; nullptr gives an empty collection.
    void WriteCollection(TCollection* Value);

private:
    friend struct WriterImpl;
    void writeProperties(TPersistent* instance, TPersistent* ancestor, const std::string& prefix);
    void writeProperty(TPersistent* instance, TPersistent* ancestor, const TPropInfo& prop,
                       const std::string& prefix);
    void beginProperty(const std::string& name);
    void valueSeparator();
    void newLine();

    std::string m_out;
    int m_indent = 0;
    int m_listDepth = 0;
    bool m_atLineStart = true;
    bool m_firstInList = false;
    std::string m_propPath;
    TComponent* m_rootAncestor = nullptr;
};

/// Reads the text form. Errors raise EReadError ("Error reading <path>: <reason>" for
/// property errors, "Line <n>: <reason>" for syntax errors).
class TReader : public TFiler {
public:
    explicit TReader(std::string text);
    ~TReader() override;
    [[nodiscard]] std::string ClassName() const override { return "TReader"; }

    /// Reads a root component. Instance may be an existing root to read into (its class
    /// must match the stream's); otherwise it is created from the class registry, owned by
    /// Owner. Returns the root. On failure every component created here is destroyed.
    TComponent* ReadRootComponent(TComponent* Instance, TComponent* Owner = nullptr);

    void DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc WriteData,
                        bool HasData) override;
    void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                              bool HasData) override;

    // Values, for defined properties.
    /// Type of the next value without consuming it.
    [[nodiscard]] TValueType NextValue();
    /// Consumes and returns the type of the next value: for vaList and vaCollection the
    /// opening bracket, for others the whole value (rarely useful except for markers).
    TValueType ReadValue();
    void ReadListBegin();
    void ReadListEnd();
    /// True when the next token closes the current list or collection.
    [[nodiscard]] bool EndOfList();
    std::string ReadString();
    int32_t ReadInteger();
    int64_t ReadInt64();
    double ReadFloat();
    double ReadCurrency();
    TDateTime ReadDate();
    bool ReadBoolean();
    std::string ReadIdent();
    Variant ReadVariant();
    /// Reads the items of a collection whose `<` has been consumed (with ReadValue),
    /// replacing Collection's items by new ones, up to and including the closing `>`.
    void ReadCollection(TCollection* Collection);

    /// Line of the next token (1-based), for messages.
    [[nodiscard]] int Line() const;

    struct Impl; // internal state of the reading

private:
    std::unique_ptr<Impl> m_impl;
};

/// Factory of a registered component class: creates an instance owned by the argument.
using TComponentFactory = std::function<TComponent*(TComponent* Owner)>;
/// Registers a class by name for reading (a second registration replaces the first).
void RegisterClass(const std::string& ClassName, TComponentFactory Factory);
/// Forgets a registered class.
void UnRegisterClass(const std::string& ClassName);
/// The factory registered under the name (case-insensitive); empty when none.
[[nodiscard]] TComponentFactory FindClassFactory(const std::string& ClassName);
/// True when a class of that name is registered.
[[nodiscard]] bool IsClassRegistered(const std::string& ClassName);
/// Registers T under its ClassName() given as name:
/// `RegisterComponentClass<TSybQuery>("TSybQuery")`.
template <class T> void RegisterComponentClass(const std::string& name) {
    RegisterClass(name, [](TComponent* owner) -> TComponent* { return new T(owner); });
}

/// The text form of Root and its owned tree (only differences from Ancestor when given).
[[nodiscard]] std::string ComponentToText(TComponent* Root, TComponent* Ancestor = nullptr);
/// Reads a root from text into Instance, or into a new instance owned by Owner when
/// Instance is nullptr. Returns the root.
TComponent* TextToComponent(const std::string& Text, TComponent* Instance = nullptr,
                            TComponent* Owner = nullptr);
/// Stream variants: write the text at the stream's position; read the rest of the stream.
void WriteComponentText(TStream* Stream, TComponent* Root, TComponent* Ancestor = nullptr);
TComponent* ReadComponentText(TStream* Stream, TComponent* Instance = nullptr,
                              TComponent* Owner = nullptr);

} // namespace tovrin::host
