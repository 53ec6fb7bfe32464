// TObject, the root of the framework's classes, and TPersistent, the base of objects that
// can be assigned and streamed. A persistent class describes its published properties
// (name, type, reader, writer, stored rule) for the component streaming.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tovrin5/host/PropInfo.h"

namespace tovrin::host {

class TFiler;

/// Root of the framework's class hierarchy.
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject();
    /// Name of the object's class as written in component streams ("TSybQuery").
    [[nodiscard]] virtual std::string ClassName() const { return "TObject"; }
};

/// Base of assignable, streamable objects.
class TPersistent : public TObject {
public:
    [[nodiscard]] std::string ClassName() const override { return "TPersistent"; }

    /// Copies the content of Source into this object. The default asks Source to AssignTo
    /// this object and raises EConvertError "Cannot assign a <class> to a <class>" when
    /// neither side knows how.
    virtual void Assign(TPersistent* Source);

    /// Appends the published properties of this class to list, base classes first
    /// (overrides call the inherited version before adding their own).
    virtual void GetPublishedProperties(TPropList& list) const;

    /// Declares properties that are streamed by custom code (see TFiler::DefineProperty).
    virtual void DefineProperties(TFiler* Filer);

    /// The object that owns this one in the streaming sense (collection of an item,
    /// component of a sub-object); nullptr by default.
    [[nodiscard]] virtual TPersistent* GetOwner() const { return nullptr; }

    /// Dotted path naming this object for messages ("Form1.Query1.SQL").
    [[nodiscard]] virtual std::string GetNamePath() const;

protected:
    /// Copies this object into Dest; the default raises the assignment error.
    virtual void AssignTo(TPersistent* Dest);
    [[noreturn]] void assignError(TPersistent* Source);
};

/// Finds a published property by name (case-insensitive ASCII); empty when unknown.
std::optional<TPropInfo> GetPropInfo(const TPersistent* instance, const std::string& name);
/// All published properties of an instance.
TPropList GetPropList(const TPersistent* instance);

} // namespace tovrin::host
