// The concrete field classes, one per field type, and the factory that picks the class
// for a type. Each reads and writes its value in the type's record format:
//   ftString/ftFixedChar/ftWideString  Size+1 bytes, NUL-terminated text
//   ftSmallint/ftWord                  16-bit signed / unsigned
//   ftInteger/ftAutoInc                32-bit signed;      ftLargeint 64-bit signed
//   ftBoolean                          16-bit, 0 false, anything else true
//   ftFloat/ftCurrency                 IEEE double;        ftBCD the 34-byte TBcd
//   ftDate                             32-bit time-stamp day number (8-byte area)
//   ftTime                             32-bit milliseconds since midnight (8-byte area)
//   ftDateTime                         double, time-stamp milliseconds
//   ftBytes                            Size bytes (Size+1 area); ftVarBytes 16-bit length + bytes
//   blob types                         no value in the buffer: read and written through
//                                      the dataset's CreateBlobStream
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "tovrin5/host/Fields.h"
#include "tovrin5/host/FieldsBcd.h"

namespace tovrin::host {

class TStringField : public TField {
public:
    explicit TStringField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TStringField"; }
    [[nodiscard]] int DataSize() const override { return Size() + 1; }
    /// Fixed-length character column (ftFixedChar).
    [[nodiscard]] bool FixedChar() const noexcept { return DataType() == ftFixedChar; }
    void SetFixedChar(bool Value) noexcept { SetDataType(Value ? ftFixedChar : ftString); }
    /// Writes the text cut to Size bytes (never inside a UTF-8 sequence).
    void SetAsString(const std::string& Value) override;
    void SetAsInteger(int32_t Value) override;
    void SetAsLargeInt(int64_t Value) override;
    void SetAsFloat(double Value) override;
    void SetAsBoolean(bool Value) override;
    void SetAsDateTime(TDateTime Value) override;

protected:
    [[nodiscard]] std::string GetAsString() const override;
    [[nodiscard]] int32_t GetAsInteger() const override;
    [[nodiscard]] int64_t GetAsLargeInt() const override;
    [[nodiscard]] double GetAsFloat() const override;
    [[nodiscard]] bool GetAsBoolean() const override;
    [[nodiscard]] TDateTime GetAsDateTime() const override;
    [[nodiscard]] Variant GetAsVariant() const override;
    void SetVarValue(const Variant& v) override;
    /// Reads the text; false when null.
    bool getValue(std::string& value) const;
};

class TWideStringField : public TStringField {
public:
    explicit TWideStringField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TWideStringField"; }
};

/// Common base of the numeric fields.
class TNumericField : public TField {
public:
    using TField::TField;
    [[nodiscard]] std::string ClassName() const override { return "TNumericField"; }
};

/// ftInteger (and the base of the other integer fields, which narrow its range).
class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TIntegerField"; }
    [[nodiscard]] int DataSize() const override { return 4; }
    /// Range checked by the writers; both 0 means the type's whole range.
    [[nodiscard]] int64_t MinValue() const noexcept { return m_minValue; }
    void SetMinValue(int64_t v) noexcept { m_minValue = v; }
    [[nodiscard]] int64_t MaxValue() const noexcept { return m_maxValue; }
    void SetMaxValue(int64_t v) noexcept { m_maxValue = v; }
    void SetAsString(const std::string& Value) override;
    void SetAsInteger(int32_t Value) override { SetAsLargeInt(Value); }
    void SetAsLargeInt(int64_t Value) override;
    void SetAsFloat(double Value) override;
    void SetAsBoolean(bool Value) override { SetAsLargeInt(Value ? 1 : 0); }

protected:
    [[nodiscard]] std::string GetAsString() const override;
    [[nodiscard]] int32_t GetAsInteger() const override;
    [[nodiscard]] int64_t GetAsLargeInt() const override;
    [[nodiscard]] double GetAsFloat() const override;
    [[nodiscard]] bool GetAsBoolean() const override;
    [[nodiscard]] Variant GetAsVariant() const override;
    void SetVarValue(const Variant& v) override;
    /// Reads the stored integer widened to 64 bits; false when null.
    virtual bool readValue(int64_t& value) const;
    /// Writes a value already checked against the range.
    virtual void writeValue(int64_t value);
    /// The type's own range.
    [[nodiscard]] virtual int64_t typeMin() const { return INT32_MIN; }
    [[nodiscard]] virtual int64_t typeMax() const { return INT32_MAX; }
    /// Reads / writes the record slot as a Stored integer; readSlot is false when null.
    template <class Stored> bool readSlot(int64_t& value) const {
        Stored v = 0;
        const bool ok = GetData(&v);
        value = ok ? static_cast<int64_t>(v) : 0;
        return ok;
    }
    template <class Stored> void writeSlot(int64_t value) {
        auto v = static_cast<Stored>(value);
        SetData(&v);
    }

private:
    int64_t m_minValue = 0;
    int64_t m_maxValue = 0;
};

/// An integer field whose record slot holds a Stored integer, with Stored's range.
template <class Stored> class TIntegerSlotField : public TIntegerField {
public:
    using TIntegerField::TIntegerField;
    [[nodiscard]] int DataSize() const override { return static_cast<int>(sizeof(Stored)); }

protected:
    bool readValue(int64_t& value) const override { return readSlot<Stored>(value); }
    void writeValue(int64_t value) override { writeSlot<Stored>(value); }
    [[nodiscard]] int64_t typeMin() const override { return std::numeric_limits<Stored>::min(); }
    [[nodiscard]] int64_t typeMax() const override {
        return static_cast<int64_t>(std::numeric_limits<Stored>::max());
    }
};

class TSmallintField : public TIntegerSlotField<int16_t> {
public:
    explicit TSmallintField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TSmallintField"; }
};

class TWordField : public TIntegerSlotField<uint16_t> {
public:
    explicit TWordField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TWordField"; }
};

class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TAutoIncField"; }
};

class TLargeintField : public TIntegerSlotField<int64_t> {
public:
    explicit TLargeintField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TLargeintField"; }

protected:
    [[nodiscard]] Variant GetAsVariant() const override;
};

class TFloatField : public TNumericField {
public:
    explicit TFloatField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TFloatField"; }
    [[nodiscard]] int DataSize() const override { return 8; }
    /// Significant digits used when formatting (default 15).
    [[nodiscard]] int Precision() const noexcept { return m_precision; }
    void SetPrecision(int v) noexcept { m_precision = v; }
    /// Range checked by the writers; both 0 means no range.
    [[nodiscard]] double MinValue() const noexcept { return m_minValue; }
    void SetMinValue(double v) noexcept { m_minValue = v; }
    [[nodiscard]] double MaxValue() const noexcept { return m_maxValue; }
    void SetMaxValue(double v) noexcept { m_maxValue = v; }
    /// Whether the value is money (ftCurrency).
    [[nodiscard]] bool Currency() const noexcept { return DataType() == ftCurrency; }
    void SetAsString(const std::string& Value) override;
    void SetAsInteger(int32_t Value) override { SetAsFloat(Value); }
    void SetAsLargeInt(int64_t Value) override { SetAsFloat(static_cast<double>(Value)); }
    void SetAsFloat(double Value) override;

protected:
    [[nodiscard]] std::string GetAsString() const override;
    [[nodiscard]] int32_t GetAsInteger() const override;
    [[nodiscard]] int64_t GetAsLargeInt() const override;
    [[nodiscard]] double GetAsFloat() const override;
    [[nodiscard]] Variant GetAsVariant() const override;
    void SetVarValue(const Variant& v) override;

private:
    int m_precision = 15;
    double m_minValue = 0;
    double m_maxValue = 0;
};

class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TCurrencyField"; }
};

/// ftBCD: a packed decimal of up to 64 digits in the record, held exactly. AsString and
/// AsVariant give its exact decimal text (a varString variant), AsInteger and AsLargeInt
/// round it exactly, AsFloat gives the nearest double. Size is the scale (digits after
/// the point), Precision the total digits. A field whose values always fit 64 bits as
/// units of 10^-Size (a server's money) may keep them so in an 8-byte slot (Int64Slot):
/// the same values, a quarter of the record space, and no packing for every value read.
class TBCDField : public TNumericField {
public:
    explicit TBCDField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TBCDField"; }
    [[nodiscard]] int DataSize() const override {
        return m_int64Slot ? static_cast<int>(sizeof(int64_t)) : static_cast<int>(sizeof(TBcd));
    }
    /// Whether the record slot holds the value as a 64-bit count of 10^-Size units rather
    /// than a TBcd. Set by the dataset that lays out the record, before it does.
    [[nodiscard]] bool Int64Slot() const noexcept { return m_int64Slot; }
    void SetInt64Slot(bool v) noexcept { m_int64Slot = v; }
    [[nodiscard]] int Precision() const noexcept { return m_precision; }
    void SetPrecision(int v) noexcept { m_precision = v; }
    /// Whether the value is an amount of money (formatted with at least two decimals).
    [[nodiscard]] bool Currency() const noexcept { return m_currency; }
    void SetCurrency(bool v) noexcept { m_currency = v; }
    void SetAsString(const std::string& Value) override;
    void SetAsInteger(int32_t Value) override { SetAsLargeInt(Value); }
    void SetAsLargeInt(int64_t Value) override { SetAsString(std::to_string(Value)); }
    void SetAsFloat(double Value) override;
    /// Reads the raw decimal; false when null.
    bool GetAsBCD(TBcd& Value) const;
    void SetAsBCD(const TBcd& Value);

protected:
    [[nodiscard]] std::string GetAsString() const override;
    [[nodiscard]] int32_t GetAsInteger() const override;
    [[nodiscard]] int64_t GetAsLargeInt() const override;
    [[nodiscard]] double GetAsFloat() const override;
    [[nodiscard]] Variant GetAsVariant() const override;
    void SetVarValue(const Variant& v) override;

private:
    int m_precision = 0;
    bool m_currency = false;
    bool m_int64Slot = false;
};

class TBooleanField : public TField {
public:
    explicit TBooleanField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TBooleanField"; }
    [[nodiscard]] int DataSize() const override { return 2; }
    /// "True;False" style texts used by AsString and accepted by SetAsString.
    [[nodiscard]] const std::string& DisplayValues() const noexcept { return m_displayValues; }
    void SetDisplayValues(const std::string& Value);
    void SetAsString(const std::string& Value) override;
    void SetAsBoolean(bool Value) override;
    void SetAsInteger(int32_t Value) override { SetAsBoolean(Value != 0); }

protected:
    [[nodiscard]] std::string GetAsString() const override;
    [[nodiscard]] bool GetAsBoolean() const override;
    [[nodiscard]] int32_t GetAsInteger() const override;
    [[nodiscard]] Variant GetAsVariant() const override;
    void SetVarValue(const Variant& v) override;

private:
    std::string m_displayValues = "True;False";
    std::string m_trueText = "True";
    std::string m_falseText = "False";
};

/// ftDateTime (base of TDateField and TTimeField, which store other parts).
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TDateTimeField"; }
    [[nodiscard]] int DataSize() const override { return 8; }
    void SetAsString(const std::string& Value) override;
    void SetAsDateTime(TDateTime Value) override;
    void SetAsFloat(double Value) override { SetAsDateTime(Value); }

protected:
    [[nodiscard]] std::string GetAsString() const override;
    [[nodiscard]] double GetAsFloat() const override { return GetAsDateTime(); }
    [[nodiscard]] TDateTime GetAsDateTime() const override;
    [[nodiscard]] Variant GetAsVariant() const override;
    void SetVarValue(const Variant& v) override;
    /// Converts between TDateTime and the record format of the concrete type.
    virtual bool readValue(TDateTime& value) const;
    virtual void writeValue(TDateTime value);
};

/// A field holding one 32-bit part of a time stamp in an 8-byte slot. Part says which:
/// its field type and class name, and how a value maps to the part, back, and to text.
template <class Part> class TTimeStampPartField : public TDateTimeField {
public:
    explicit TTimeStampPartField(TComponent* AOwner) : TDateTimeField(AOwner) {
        SetDataType(Part::kFieldType);
    }
    [[nodiscard]] std::string ClassName() const override { return Part::kClassName; }

protected:
    [[nodiscard]] std::string GetAsString() const override {
        TDateTime v = 0;
        return readValue(v) ? Part::toText(v) : std::string();
    }
    bool readValue(TDateTime& value) const override {
        int32_t slot[2] = {0, 0};
        value = 0;
        if (!GetData(slot))
            return false;
        value = Part::toDateTime(slot[0]);
        return true;
    }
    void writeValue(TDateTime value) override {
        int32_t slot[2] = {Part::ofDateTime(value), 0};
        SetData(slot);
    }
};

namespace detail {
/// ftDate: the day number of the time stamp; a day number of zero or less reads as 0.
struct DatePart {
    static constexpr TFieldType kFieldType = ftDate;
    static constexpr const char* kClassName = "TDateField";
    static TDateTime toDateTime(int32_t part);
    static int32_t ofDateTime(TDateTime value);
    static std::string toText(TDateTime value);
};
/// ftTime: the milliseconds since midnight of the time stamp.
struct TimePart {
    static constexpr TFieldType kFieldType = ftTime;
    static constexpr const char* kClassName = "TTimeField";
    static TDateTime toDateTime(int32_t part);
    static int32_t ofDateTime(TDateTime value);
    static std::string toText(TDateTime value);
};
} // namespace detail

class TDateField : public TTimeStampPartField<detail::DatePart> {
public:
    using TTimeStampPartField::TTimeStampPartField;
};

class TTimeField : public TTimeStampPartField<detail::TimePart> {
public:
    using TTimeStampPartField::TTimeStampPartField;
};

/// ftBytes: Size raw bytes; the value is a byte array, AsString the raw bytes.
class TBytesField : public TField {
public:
    explicit TBytesField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TBytesField"; }
    [[nodiscard]] int DataSize() const override { return Size() + 1; }
    void SetAsString(const std::string& Value) override;

protected:
    [[nodiscard]] std::string GetAsString() const override;
    [[nodiscard]] Variant GetAsVariant() const override;
    void SetVarValue(const Variant& v) override;
    /// Bytes of the value; false when null.
    virtual bool readBytes(std::string& value) const;
    virtual void writeBytes(const std::string& value);
};

/// ftVarBytes: up to Size bytes behind a 16-bit length.
class TVarBytesField : public TBytesField {
public:
    explicit TVarBytesField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TVarBytesField"; }
    [[nodiscard]] int DataSize() const override { return Size() + 2; }

protected:
    bool readBytes(std::string& value) const override;
    void writeBytes(const std::string& value) override;
};

/// Blob fields (ftBlob and the other blob types): the value lives outside the record
/// buffer and is read and written through the dataset's CreateBlobStream.
class TBlobField : public TField {
public:
    explicit TBlobField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TBlobField"; }
    /// Room for the reference a dataset may keep in the record (calculated-field area).
    [[nodiscard]] int DataSize() const override { return 8; }
    [[nodiscard]] bool IsBlob() const override { return true; }
    /// Set by a blob stream that stored a new value; cleared when the record changes.
    [[nodiscard]] bool Modified() const noexcept { return m_modified; }
    void SetModified(bool Value) noexcept { m_modified = Value; }
    /// Size of the current value in bytes.
    [[nodiscard]] int64_t BlobSize() const;
    [[nodiscard]] bool IsNull() const override;
    void Clear() override;
    void SetAsString(const std::string& Value) override;
    /// Copies the value into / from a stream (whole content).
    void SaveToStream(TStream* Stream) const;
    void LoadFromStream(TStream* Stream);
    /// Sets the blob type (ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ...).
    void SetBlobType(TFieldType Value) noexcept { SetDataType(Value); }

protected:
    [[nodiscard]] std::string GetAsString() const override;
    [[nodiscard]] Variant GetAsVariant() const override;
    void SetVarValue(const Variant& v) override;

private:
    bool m_modified = false;
};

class TMemoField : public TBlobField {
public:
    explicit TMemoField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TMemoField"; }

protected:
    [[nodiscard]] Variant GetAsVariant() const override;
};

class TGraphicField : public TBlobField {
public:
    explicit TGraphicField(TComponent* AOwner);
    [[nodiscard]] std::string ClassName() const override { return "TGraphicField"; }
};

/// Creates a field of the class that represents the type (nullptr for types without a
/// field class: ftUnknown, ftCursor, ftADT and above).
using TFieldClass = TField* (*)(TComponent* AOwner);
[[nodiscard]] TFieldClass DefaultFieldClass(TFieldType type) noexcept;

} // namespace tovrin::host
