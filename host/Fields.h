// TField, the base of every field of a dataset, and TFields, the dataset's list of them.
// A field reads and writes its value in the dataset's current record through the
// dataset's GetFieldData/SetFieldData, passing a buffer in the field type's record format
// (DataSize bytes: strings NUL-terminated, integers in native byte order, dates as day
// numbers, date-times as time-stamp milliseconds, BCD as the 34-byte TBcd). The concrete
// field classes (FieldsTyped.h) convert between that format and the As* accessors.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tovrin5/host/Component.h"
#include "tovrin5/host/DbEnums.h"
#include "tovrin5/host/Events.h"
#include "tovrin5/host/Variant.h"

namespace tovrin::host {

class TDataSet;
class TField;
class TStream;

/// Field events (OnChange, OnValidate).
using TFieldNotifyEvent = TEvent<void(TField* Sender)>;

class TField : public TComponent {
public:
    explicit TField(TComponent* AOwner);
    /// Leaves the dataset's field list.
    ~TField() override;
    [[nodiscard]] std::string ClassName() const override { return "TField"; }

    // ---- identity and layout -------------------------------------------------------
    [[nodiscard]] TDataSet* DataSet() const noexcept { return m_dataSet; }
    /// Moves the field to another dataset's field list (nullptr: to none). Both datasets
    /// must be closed; the name must be unique in the new dataset.
    void SetDataSet(TDataSet* ADataSet);
    [[nodiscard]] const std::string& FieldName() const noexcept { return m_fieldName; }
    void SetFieldName(const std::string& Value);
    [[nodiscard]] TFieldType DataType() const noexcept { return m_dataType; }
    [[nodiscard]] TFieldKind FieldKind() const noexcept { return m_fieldKind; }
    void SetFieldKind(TFieldKind Value);
    /// Declared size: maximum length of strings and bytes, scale of BCD, 0 otherwise.
    [[nodiscard]] int Size() const noexcept { return m_size; }
    /// Changes the size; the dataset must be closed.
    void SetSize(int Value);
    /// Byte size of the value buffer GetData/SetData exchange with the dataset.
    [[nodiscard]] virtual int DataSize() const { return 0; }
    /// 1-based column number of a bound data field; -1 for calculated and lookup fields
    /// while bound; 0 when unbound.
    [[nodiscard]] int FieldNo() const noexcept { return m_fieldNo; }
    /// Offset of a calculated or lookup field inside the calculated-field area (set by
    /// BindFields); for blob data fields the blob index.
    [[nodiscard]] int Offset() const noexcept { return m_offset; }
    /// Position in the dataset's Fields list; -1 without dataset.
    [[nodiscard]] int Index() const;
    [[nodiscard]] bool ReadOnly() const noexcept { return m_readOnly; }
    void SetReadOnly(bool Value) noexcept { m_readOnly = Value; }
    [[nodiscard]] bool Required() const noexcept { return m_required; }
    void SetRequired(bool Value) noexcept { m_required = Value; }
    [[nodiscard]] bool Visible() const noexcept { return m_visible; }
    void SetVisible(bool Value) noexcept { m_visible = Value; }
    /// How the field takes part in writing changes back to the server (see TProviderFlag);
    /// {pfInUpdate, pfInWhere} for a new field. A dataset that knows where its columns come
    /// from sets them when it creates its fields.
    [[nodiscard]] TProviderFlags ProviderFlags() const noexcept { return m_providerFlags; }
    void SetProviderFlags(TProviderFlags Value) noexcept { m_providerFlags = Value; }
    /// The label shown for the field: DisplayLabel when set, else FieldName.
    [[nodiscard]] std::string DisplayLabel() const { return GetDisplayName(); }
    void SetDisplayLabel(const std::string& Value) { m_displayLabel = Value; }
    [[nodiscard]] std::string GetDisplayName() const;
    /// Whether text values pass through the dataset's Translate when read and written.
    [[nodiscard]] bool Transliterate() const noexcept { return m_transliterate; }
    void SetTransliterate(bool Value) noexcept { m_transliterate = Value; }
    [[nodiscard]] bool Calculated() const noexcept { return m_fieldKind == fkCalculated; }
    [[nodiscard]] bool Lookup() const noexcept { return m_fieldKind == fkLookup; }
    [[nodiscard]] virtual bool IsBlob() const { return false; }
    /// Whether values of this field may be compared and stored by the dataset (false for
    /// blobs and types without a value).
    [[nodiscard]] bool CanModify() const;

    // ---- lookup definition -----------------------------------------------------------
    [[nodiscard]] TDataSet* LookupDataSet() const noexcept { return m_lookupDataSet; }
    void SetLookupDataSet(TDataSet* Value);
    /// Semicolon-separated names of this dataset's fields whose values are the key.
    [[nodiscard]] const std::string& KeyFields() const noexcept { return m_keyFields; }
    void SetKeyFields(const std::string& Value) { m_keyFields = Value; }
    /// Semicolon-separated key field names in the lookup dataset.
    [[nodiscard]] const std::string& LookupKeyFields() const noexcept { return m_lookupKeyFields; }
    void SetLookupKeyFields(const std::string& Value) { m_lookupKeyFields = Value; }
    /// Name of the lookup dataset's field whose value this field shows.
    [[nodiscard]] const std::string& LookupResultField() const noexcept {
        return m_lookupResultField;
    }
    void SetLookupResultField(const std::string& Value) { m_lookupResultField = Value; }

    // ---- raw access -------------------------------------------------------------
    /// Reads the value of the current record into Buffer (DataSize bytes; nullptr only
    /// tests). Returns false when the value is null or there is no current record. While
    /// OnValidate runs, returns the value being validated.
    bool GetData(void* Buffer) const;
    /// Writes the value of the current record from Buffer (nullptr: null). The dataset
    /// must be in a state that allows writing (edit, insert, calculating, ...).
    void SetData(const void* Buffer);

    // ---- values -----------------------------------------------------------------
    [[nodiscard]] virtual bool IsNull() const;
    /// Makes the value null.
    virtual void Clear();
    /// The value as a Variant; Null when the field is null.
    [[nodiscard]] Variant Value() const { return GetAsVariant(); }
    /// Null clears the field; anything else converts to the field's type.
    void SetValue(const Variant& v);
    [[nodiscard]] Variant AsVariant() const { return GetAsVariant(); }
    void SetAsVariant(const Variant& v) { SetValue(v); }
    [[nodiscard]] std::string AsString() const { return GetAsString(); }
    [[nodiscard]] int32_t AsInteger() const { return GetAsInteger(); }
    [[nodiscard]] int64_t AsLargeInt() const { return GetAsLargeInt(); }
    [[nodiscard]] double AsFloat() const { return GetAsFloat(); }
    [[nodiscard]] double AsCurrency() const { return GetAsCurrency(); }
    [[nodiscard]] bool AsBoolean() const { return GetAsBoolean(); }
    [[nodiscard]] TDateTime AsDateTime() const { return GetAsDateTime(); }
    /// The value before the pending edit (read in the temporary state dsOldValue), the
    /// value being written (dsNewValue) and the value as stored (dsCurValue); the
    /// dataset decides which buffer each state reads.
    [[nodiscard]] Variant OldValue() const { return valueInState(dsOldValue); }
    [[nodiscard]] Variant NewValue() const { return valueInState(dsNewValue); }
    [[nodiscard]] Variant CurValue() const { return valueInState(dsCurValue); }
    /// Text for display and for editing (the string value; "" for null).
    [[nodiscard]] std::string DisplayText() const { return GetAsString(); }
    [[nodiscard]] std::string Text() const { return GetAsString(); }
    void SetText(const std::string& Value) { SetAsString(Value); }

    /// Writers. Each converts to the field's type and writes; a value that does not
    /// convert or lies outside the field's range raises before anything is written.
    virtual void SetAsString(const std::string& Value);
    virtual void SetAsInteger(int32_t Value);
    virtual void SetAsLargeInt(int64_t Value);
    virtual void SetAsFloat(double Value);
    virtual void SetAsCurrency(double Value) { SetAsFloat(Value); }
    virtual void SetAsBoolean(bool Value);
    virtual void SetAsDateTime(TDateTime Value);

    /// Copies the value of another field (Source must be a TField).
    void Assign(TPersistent* Source) override;

    /// Runs OnValidate for a value about to be written (Buffer: the new value in record
    /// format, nullptr for null); the handler may read the new value through the field
    /// and raise to refuse it.
    void Validate(const void* Buffer);
    /// Runs OnChange; the dataset calls it after a value changed.
    void Change();
    /// Fetches the lookup value for the dataset's calculation buffer (lookup fields).
    void CalcLookupValue();

    /// Forgets a lookup dataset that is being destroyed.
    void Notification(TComponent* AComponent, TOperation Operation) override;

    [[nodiscard]] const TFieldNotifyEvent& OnChange() const noexcept { return m_onChange; }
    void SetOnChange(TFieldNotifyEvent e) { m_onChange = std::move(e); }
    [[nodiscard]] const TFieldNotifyEvent& OnValidate() const noexcept { return m_onValidate; }
    void SetOnValidate(TFieldNotifyEvent e) { m_onValidate = std::move(e); }

protected:
    /// Readers of the concrete classes; the base raises the access error.
    [[nodiscard]] virtual std::string GetAsString() const;
    [[nodiscard]] virtual int32_t GetAsInteger() const;
    [[nodiscard]] virtual int64_t GetAsLargeInt() const;
    [[nodiscard]] virtual double GetAsFloat() const;
    [[nodiscard]] virtual double GetAsCurrency() const { return GetAsFloat(); }
    [[nodiscard]] virtual bool GetAsBoolean() const;
    [[nodiscard]] virtual TDateTime GetAsDateTime() const;
    [[nodiscard]] virtual Variant GetAsVariant() const;
    /// Writes a non-null variant converted to the field's type.
    virtual void SetVarValue(const Variant& v);

    /// Set by the concrete class's constructor.
    void SetDataType(TFieldType Value) noexcept { m_dataType = Value; }
    /// Raises EDatabaseError "Cannot access field '<name>' as type <typeName>".
    [[noreturn]] void AccessError(const char* typeName) const;
    /// Raises when the field's dataset is open (size and kind changes).
    void CheckInactive() const;
    /// Called by the dataset's BindFields; lookup fields check their definition.
    virtual void Bind(bool Binding);
    [[nodiscard]] Variant valueInState(TDataSetState state) const;
    /// Size without the inactive check (constructors).
    void setSizeRaw(int Value) noexcept { m_size = Value; }

private:
    friend class TDataSet;
    friend class TFields;
    friend class TFieldDef;

    TDataSet* m_dataSet = nullptr;
    std::string m_fieldName;
    std::string m_displayLabel;
    TFieldType m_dataType = ftUnknown;
    TFieldKind m_fieldKind = fkData;
    int m_size = 0;
    int m_fieldNo = 0;
    int m_offset = 0;
    bool m_readOnly = false;
    bool m_required = false;
    bool m_visible = true;
    TProviderFlags m_providerFlags{pfInUpdate, pfInWhere};
    bool m_transliterate = false;
    mutable bool m_validating = false;
    const void* m_validateBuffer = nullptr;
    TDataSet* m_lookupDataSet = nullptr;
    std::string m_keyFields;
    std::string m_lookupKeyFields;
    std::string m_lookupResultField;
    TFieldNotifyEvent m_onChange;
    TFieldNotifyEvent m_onValidate;
};

/// The fields of a dataset in their order. Does not own them: a field belongs to its
/// owner component (the dataset for fields created by default).
class TFields {
public:
    explicit TFields(TDataSet* ADataSet) : m_dataSet(ADataSet) {}
    TFields(const TFields&) = delete;
    TFields& operator=(const TFields&) = delete;

    [[nodiscard]] int Count() const noexcept { return static_cast<int>(m_list.size()); }
    /// Field by position; raises EDatabaseError "Field index out of range".
    [[nodiscard]] TField* Fields(int Index) const;
    [[nodiscard]] TField* operator[](int Index) const { return Fields(Index); }
    /// Field of that name (case-insensitive ASCII); nullptr when none.
    [[nodiscard]] TField* FindField(const std::string& FieldName) const;
    /// As FindField; raises EDatabaseError "Field '<name>' not found".
    [[nodiscard]] TField* FieldByName(const std::string& FieldName) const;
    /// Bound field with that FieldNo; nullptr when none.
    [[nodiscard]] TField* FieldByNumber(int FieldNo) const;
    [[nodiscard]] int IndexOf(const TField* Field) const;
    [[nodiscard]] TDataSet* DataSet() const noexcept { return m_dataSet; }
    [[nodiscard]] auto begin() const noexcept { return m_list.begin(); }
    [[nodiscard]] auto end() const noexcept { return m_list.end(); }

    /// Appends a field (names must be unique: EDatabaseError "Duplicate field name").
    void Add(TField* Field);
    void Remove(TField* Field);
    /// Destroys every field in the list, last first.
    void Clear();

private:
    friend class TField;
    void removeOnly(TField* Field);

    TDataSet* m_dataSet;
    std::vector<TField*> m_list;
};

/// Case-insensitive ASCII comparison of names (field, parameter, definition names).
[[nodiscard]] bool SameName(const std::string& a, const std::string& b) noexcept;

} // namespace tovrin::host
