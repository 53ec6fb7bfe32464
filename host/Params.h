// TParam and TParams: named, typed values handed to a dataset's command (SQL parameters).
// A parameter keeps its value as a Variant with a field type; the AsX writers set both.
// TParams is a collection, so a parameter list streams as `< item ... end >` with each
// parameter's Name, DataType, ParamType and (when not null) Value.
#pragma once

#include <string>
#include <vector>

#include "tovrin5/host/Collection.h"
#include "tovrin5/host/DbEnums.h"
#include "tovrin5/host/FieldsBcd.h"
#include "tovrin5/host/Variant.h"

namespace tovrin::host {

class TField;
class TParams;

class TParam : public TCollectionItem {
public:
    /// Creates a parameter and appends it to AParams (when given).
    explicit TParam(TCollection* AParams);
    TParam(TParams* AParams, TParamType AParamType);
    [[nodiscard]] std::string ClassName() const override { return "TParam"; }
    [[nodiscard]] std::string DisplayName() const override;

    [[nodiscard]] const std::string& Name() const noexcept { return m_name; }
    void SetName(const std::string& Value) { m_name = Value; }
    [[nodiscard]] TFieldType DataType() const noexcept { return m_dataType; }
    /// Sets the type; a non-null value is converted to the type's variant kind (a value
    /// that does not convert raises EVariantError and leaves the parameter unchanged).
    void SetDataType(TFieldType Value);
    [[nodiscard]] TParamType ParamType() const noexcept { return m_paramType; }
    void SetParamType(TParamType Value) noexcept { m_paramType = Value; }
    /// True once a value was assigned by the application (or by AssignField); a query
    /// fills only unbound parameters from a master dataset.
    [[nodiscard]] bool Bound() const noexcept { return m_bound; }
    void SetBound(bool Value) noexcept { m_bound = Value; }
    [[nodiscard]] bool IsNull() const noexcept { return m_value.IsNull() || m_value.IsEmpty(); }
    /// Makes the value Null; the type stays.
    void Clear();

    /// The value (Null when none).
    [[nodiscard]] Variant Value() const { return IsNull() ? Null() : m_value; }
    /// Stores the value and marks the parameter bound; an ftUnknown parameter takes the
    /// type of the value's kind.
    void SetValue(const Variant& Value);

    // Readers: null gives 0, False, "" or 0.0; otherwise the variant conversion (which
    // raises EVariantError when the value does not convert). A Boolean read as an
    // integer is -1 for true, as the framework's variants have it.
    [[nodiscard]] std::string AsString() const;
    [[nodiscard]] int32_t AsInteger() const;
    [[nodiscard]] int32_t AsSmallInt() const { return AsInteger(); }
    [[nodiscard]] int32_t AsWord() const { return AsInteger(); }
    [[nodiscard]] int64_t AsLargeInt() const;
    [[nodiscard]] double AsFloat() const;
    [[nodiscard]] double AsCurrency() const { return AsFloat(); }
    [[nodiscard]] bool AsBoolean() const;
    [[nodiscard]] TDateTime AsDateTime() const;
    [[nodiscard]] TDateTime AsDate() const { return AsDateTime(); }
    [[nodiscard]] TDateTime AsTime() const { return AsDateTime(); }
    [[nodiscard]] std::string AsMemo() const { return AsString(); }
    [[nodiscard]] std::string AsBlob() const;
    /// The value as an exact decimal: text parses, integers are exact, a double goes
    /// through its shortest round-trip text.
    [[nodiscard]] TBcd AsBCD() const;

    // Writers: each sets the data type named in it, the value, and Bound.
    void SetAsString(const std::string& Value);
    void SetAsInteger(int32_t Value);
    void SetAsSmallInt(int32_t Value);
    void SetAsWord(int32_t Value);
    void SetAsLargeInt(int64_t Value);
    void SetAsFloat(double Value);
    void SetAsCurrency(double Value);
    /// Keeps the decimal as its exact text (ftBCD).
    void SetAsBCD(const TBcd& Value);
    void SetAsBoolean(bool Value);
    void SetAsDateTime(TDateTime Value);
    void SetAsDate(TDateTime Value);
    void SetAsTime(TDateTime Value);
    void SetAsMemo(const std::string& Value);
    void SetAsBlob(const std::string& Value);

    /// Bytes the value takes in its type's record format (strings and memos with their
    /// NUL). Raises EDatabaseError for ftUnknown.
    [[nodiscard]] int GetDataSize() const;
    /// Takes the field's data type, value (null stays null) and name; marks bound.
    void AssignField(TField* Field);
    /// As AssignField for another value and without taking the name.
    void AssignFieldValue(TField* Field, const Variant& Value);
    /// Copies name, types, value and Bound of a TParam, or assigns a TField.
    void Assign(TPersistent* Source) override;
    /// Same name, types, null state, bound state and value.
    [[nodiscard]] bool IsEqual(const TParam* Value) const;

    void GetPublishedProperties(TPropList& list) const override;

private:
    /// Sets the data type, then the value (the typed setters).
    void setTyped(TFieldType type, const Variant& value);

    std::string m_name;
    TFieldType m_dataType = ftUnknown;
    TParamType m_paramType = ptUnknown;
    Variant m_value = Null();
    bool m_bound = false;
};

class TParams : public TCollection {
public:
    /// A parameter list; Owner is the object whose property holds it (for names).
    explicit TParams(TPersistent* Owner = nullptr);
    [[nodiscard]] std::string ClassName() const override { return "TParams"; }

    /// Parameter by position; raises EListError for an index outside the list.
    [[nodiscard]] TParam* Items(int Index) const;
    [[nodiscard]] TParam* operator[](int Index) const { return Items(Index); }
    /// First parameter of that name (case-insensitive ASCII); nullptr when none.
    [[nodiscard]] TParam* FindParam(const std::string& Value) const;
    /// As FindParam; raises EDatabaseError "Parameter '<name>' not found".
    [[nodiscard]] TParam* ParamByName(const std::string& Value) const;
    /// Appends a new parameter of that type, name and kind.
    TParam* CreateParam(TFieldType FldType, const std::string& ParamName, TParamType ParamType);
    /// Appends an existing parameter (taken over from its list).
    void AddParam(TParam* Value);
    /// Takes a parameter out of the list without destroying it (the caller owns it).
    void RemoveParam(TParam* Value);
    /// For each parameter of Value in order: the first parameter here with the same name
    /// takes its value (Assign). Parameters are neither added nor removed.
    void AssignValues(TParams* Value);
    /// Same count and each parameter IsEqual to the one at the same position.
    [[nodiscard]] bool IsEqual(const TParams* Value) const;
    /// Value of one parameter, or a variant array for "a;b".
    [[nodiscard]] Variant ParamValues(const std::string& ParamNames) const;
    void SetParamValues(const std::string& ParamNames, const Variant& Value);
};

/// Field type of a variant kind (varInteger -> ftInteger, varString -> ftString, ...).
[[nodiscard]] TFieldType VarTypeToDataType(TVarType VarType) noexcept;

} // namespace tovrin::host
