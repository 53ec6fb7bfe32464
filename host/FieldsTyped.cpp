// The text, Boolean, date and time, byte and blob field classes, and the factory that
// picks the class for a field type; the numeric fields are in FieldsNumeric.cpp.
#include "tovrin5/host/FieldsTyped.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Streams.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

namespace {

// Longest prefix of at most maxBytes bytes that does not end inside a UTF-8 sequence.
std::size_t utf8Prefix(const std::string& s, std::size_t maxBytes) {
    if (s.size() <= maxBytes)
        return s.size();
    std::size_t n = maxBytes;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

} // namespace

// ---- strings ---------------------------------------------------------------------------

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftString);
    setSizeRaw(20);
    SetTransliterate(true);
}

bool TStringField::getValue(std::string& value) const {
    std::vector<char> buf(static_cast<std::size_t>(DataSize()) + 1, '\0');
    if (!GetData(buf.data())) {
        value.clear();
        return false;
    }
    buf.back() = '\0';
    if (Transliterate() && DataSet())
        DataSet()->Translate(buf.data(), buf.data(), false);
    value.assign(buf.data(), std::strlen(buf.data()));
    return true;
}

std::string TStringField::GetAsString() const {
    std::string s;
    getValue(s);
    return s;
}

void TStringField::SetAsString(const std::string& Value) {
    std::vector<char> buf(static_cast<std::size_t>(DataSize()) + 1, '\0');
    std::size_t n = utf8Prefix(Value, static_cast<std::size_t>(Size()));
    std::memcpy(buf.data(), Value.data(), n);
    if (Transliterate() && DataSet())
        DataSet()->Translate(buf.data(), buf.data(), true);
    SetData(buf.data());
}

int32_t TStringField::GetAsInteger() const {
    int64_t v = GetAsLargeInt();
    if (v < INT32_MIN || v > INT32_MAX)
        throw EConvertError(dbconsts::SInvalidIntegerValue, {GetAsString(), GetDisplayName()});
    return static_cast<int32_t>(v);
}

int64_t TStringField::GetAsLargeInt() const {
    std::string s;
    if (!getValue(s))
        return 0;
    int64_t v = 0;
    if (!TryStrToInt64(Trim(s), v))
        throw EConvertError(dbconsts::SInvalidIntegerValue, {s, GetDisplayName()});
    return v;
}

double TStringField::GetAsFloat() const {
    std::string s;
    if (!getValue(s))
        return 0;
    double v = 0;
    if (!TryStrToFloat(Trim(s), v))
        throw EConvertError(dbconsts::SInvalidFloatValue, {s, GetDisplayName()});
    return v;
}

bool TStringField::GetAsBoolean() const {
    std::string s = GetAsString();
    return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}

TDateTime TStringField::GetAsDateTime() const {
    std::string s;
    if (!getValue(s))
        return 0;
    try {
        return StrToDateTime(s);
    } catch (const EConvertError&) {
        throw EConvertError(dbconsts::SInvalidDateTimeValue, {s, GetDisplayName()});
    }
}

Variant TStringField::GetAsVariant() const {
    std::string s;
    if (!getValue(s))
        return Null();
    return Variant(std::move(s));
}

void TStringField::SetVarValue(const Variant& v) {
    SetAsString(v.AsString());
}
void TStringField::SetAsInteger(int32_t Value) {
    SetAsString(IntToStr(Value));
}
void TStringField::SetAsLargeInt(int64_t Value) {
    SetAsString(IntToStr(Value));
}
void TStringField::SetAsFloat(double Value) {
    SetAsString(FloatToStr(Value));
}
void TStringField::SetAsBoolean(bool Value) {
    SetAsString(Value ? "T" : "F");
}
void TStringField::SetAsDateTime(TDateTime Value) {
    SetAsString(DateTimeToStr(Value));
}

TWideStringField::TWideStringField(TComponent* AOwner) : TStringField(AOwner) {
    SetDataType(ftWideString);
}

// ---- Boolean ----------------------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftBoolean);
}

void TBooleanField::SetDisplayValues(const std::string& Value) {
    auto p = Value.find(';');
    if (p == std::string::npos)
        DatabaseErrorFmt(dbconsts::SInvalidBoolValue, {Value, GetDisplayName()});
    m_displayValues = Value;
    m_trueText = Value.substr(0, p);
    m_falseText = Value.substr(p + 1);
}

bool TBooleanField::GetAsBoolean() const {
    uint16_t v = 0;
    return GetData(&v) && v != 0;
}

int32_t TBooleanField::GetAsInteger() const {
    return GetAsBoolean() ? 1 : 0;
}

std::string TBooleanField::GetAsString() const {
    uint16_t v = 0;
    if (!GetData(&v))
        return {};
    return v != 0 ? m_trueText : m_falseText;
}

void TBooleanField::SetAsBoolean(bool Value) {
    uint16_t v = Value ? 1 : 0;
    SetData(&v);
}

void TBooleanField::SetAsString(const std::string& Value) {
    std::string t = Trim(Value);
    if (t.empty()) {
        Clear();
        return;
    }
    auto prefixOf = [&](const std::string& full) {
        return !full.empty() && t.size() <= full.size() && SameText(t, full.substr(0, t.size()));
    };
    if (prefixOf(m_trueText))
        SetAsBoolean(true);
    else if (prefixOf(m_falseText))
        SetAsBoolean(false);
    else
        throw EConvertError(dbconsts::SInvalidBoolValue, {Value, GetDisplayName()});
}

Variant TBooleanField::GetAsVariant() const {
    uint16_t v = 0;
    if (!GetData(&v))
        return Null();
    return Variant(v != 0);
}

void TBooleanField::SetVarValue(const Variant& v) {
    SetAsBoolean(v.AsBoolean());
}

// ---- dates and times -------------------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftDateTime);
}

bool TDateTimeField::readValue(TDateTime& value) const {
    double ms = 0;
    value = 0;
    if (!GetData(&ms))
        return false;
    if (ms == 0)
        return true; // a zero slot reads as the zero date rather than failing
    value = TimeStampToDateTime(MSecsToTimeStamp(ms));
    return true;
}

void TDateTimeField::writeValue(TDateTime value) {
    double ms = TimeStampToMSecs(DateTimeToTimeStamp(value));
    SetData(&ms);
}

TDateTime TDateTimeField::GetAsDateTime() const {
    TDateTime v = 0;
    readValue(v);
    return v;
}

void TDateTimeField::SetAsDateTime(TDateTime Value) {
    writeValue(Value);
}

std::string TDateTimeField::GetAsString() const {
    TDateTime v = 0;
    return readValue(v) ? DateTimeToStr(v) : std::string();
}

void TDateTimeField::SetAsString(const std::string& Value) {
    if (Value.empty()) {
        Clear();
        return;
    }
    TDateTime v = 0;
    try {
        v = StrToDateTime(Value);
    } catch (const EConvertError&) {
        throw EConvertError(dbconsts::SInvalidDateTimeValue, {Value, GetDisplayName()});
    }
    SetAsDateTime(v);
}

Variant TDateTimeField::GetAsVariant() const {
    TDateTime v = 0;
    if (!readValue(v))
        return Null();
    return VarFromDateTime(v);
}

void TDateTimeField::SetVarValue(const Variant& v) {
    SetAsDateTime(v.AsDateTime());
}

namespace detail {

TDateTime DatePart::toDateTime(int32_t part) {
    return part <= 0 ? 0 : TimeStampToDateTime(TTimeStamp{0, part});
}
int32_t DatePart::ofDateTime(TDateTime value) {
    return DateTimeToTimeStamp(value).Date;
}
std::string DatePart::toText(TDateTime value) {
    return DateToStr(value);
}

TDateTime TimePart::toDateTime(int32_t part) {
    return static_cast<double>(part) / MSecsPerDay;
}
int32_t TimePart::ofDateTime(TDateTime value) {
    return DateTimeToTimeStamp(value).Time;
}
std::string TimePart::toText(TDateTime value) {
    return TimeToStr(value);
}

} // namespace detail

// ---- bytes --------------------------------------------------------------------------------

TBytesField::TBytesField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftBytes);
    setSizeRaw(16);
}

bool TBytesField::readBytes(std::string& value) const {
    std::string buf(static_cast<std::size_t>(DataSize()), '\0');
    if (!GetData(buf.data())) {
        value.clear();
        return false;
    }
    value.assign(buf.data(), static_cast<std::size_t>(Size()));
    return true;
}

void TBytesField::writeBytes(const std::string& value) {
    std::string buf(static_cast<std::size_t>(DataSize()), '\0');
    std::memcpy(buf.data(), value.data(), std::min(value.size(), static_cast<std::size_t>(Size())));
    SetData(buf.data());
}

std::string TBytesField::GetAsString() const {
    std::string s;
    readBytes(s);
    return s;
}

void TBytesField::SetAsString(const std::string& Value) {
    writeBytes(Value);
}

Variant TBytesField::GetAsVariant() const {
    std::string s;
    if (!readBytes(s))
        return Null();
    return VarFromBytes(s);
}

void TBytesField::SetVarValue(const Variant& v) {
    writeBytes(v.AsBytes());
}

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBytesField(AOwner) {
    SetDataType(ftVarBytes);
}

bool TVarBytesField::readBytes(std::string& value) const {
    std::string buf(static_cast<std::size_t>(DataSize()), '\0');
    if (!GetData(buf.data())) {
        value.clear();
        return false;
    }
    uint16_t len = 0;
    std::memcpy(&len, buf.data(), 2);
    len = static_cast<uint16_t>(std::min<int>(len, Size()));
    value.assign(buf.data() + 2, len);
    return true;
}

void TVarBytesField::writeBytes(const std::string& value) {
    std::string buf(static_cast<std::size_t>(DataSize()), '\0');
    auto len = static_cast<uint16_t>(std::min(value.size(), static_cast<std::size_t>(Size())));
    std::memcpy(buf.data(), &len, 2);
    std::memcpy(buf.data() + 2, value.data(), len);
    SetData(buf.data());
}

// ---- blobs ---------------------------------------------------------------------------------

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftBlob);
}

int64_t TBlobField::BlobSize() const {
    auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    return stream ? stream->Size() : 0;
}

bool TBlobField::IsNull() const {
    if (m_modified)
        return BlobSize() == 0;
    return TField::IsNull();
}

void TBlobField::SaveToStream(TStream* Stream) const {
    if (!DataSet())
        DatabaseErrorFmt(dbconsts::SDataSetMissing, {GetDisplayName()});
    auto blob = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    if (blob && blob->Size() > 0)
        Stream->CopyFrom(blob.get(), 0);
}

void TBlobField::LoadFromStream(TStream* Stream) {
    if (!DataSet())
        DatabaseErrorFmt(dbconsts::SDataSetMissing, {GetDisplayName()});
    if (!dsWriteModes.Contains(DataSet()->State()))
        DatabaseError(dbconsts::SNotEditing, DataSet());
    auto blob = DataSet()->CreateBlobStream(this, bmWrite);
    if (blob && Stream->Size() > 0)
        blob->CopyFrom(Stream, 0);
}

std::string TBlobField::GetAsString() const {
    TStringStream out;
    SaveToStream(&out);
    return out.DataString();
}

void TBlobField::SetAsString(const std::string& Value) {
    TStringStream in(Value);
    LoadFromStream(&in);
}

void TBlobField::Clear() {
    SetAsString(std::string());
}

Variant TBlobField::GetAsVariant() const {
    if (IsNull())
        return Null();
    return VarFromBytes(GetAsString());
}

void TBlobField::SetVarValue(const Variant& v) {
    SetAsString(v.VarType() == varString ? v.AsString() : v.AsBytes());
}

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) {
    SetDataType(ftMemo);
    SetTransliterate(true);
}

Variant TMemoField::GetAsVariant() const {
    if (IsNull())
        return Null();
    return Variant(GetAsString());
}

TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) {
    SetDataType(ftGraphic);
}

// ---- factory -------------------------------------------------------------------------------

namespace {
template <class F> TField* make(TComponent* owner) {
    return new F(owner);
}
TField* makeBlobOfType(TComponent* owner, TFieldType type) {
    auto* f = new TBlobField(owner);
    f->SetBlobType(type);
    return f;
}
} // namespace

TFieldClass DefaultFieldClass(TFieldType type) noexcept {
    switch (type) {
    case ftString:
        return &make<TStringField>;
    case ftFixedChar:
        return [](TComponent* o) -> TField* {
            auto* f = new TStringField(o);
            f->SetFixedChar(true);
            return f;
        };
    case ftWideString:
        return &make<TWideStringField>;
    case ftSmallint:
        return &make<TSmallintField>;
    case ftInteger:
        return &make<TIntegerField>;
    case ftWord:
        return &make<TWordField>;
    case ftAutoInc:
        return &make<TAutoIncField>;
    case ftLargeint:
        return &make<TLargeintField>;
    case ftBoolean:
        return &make<TBooleanField>;
    case ftFloat:
        return &make<TFloatField>;
    case ftCurrency:
        return &make<TCurrencyField>;
    case ftBCD:
        return &make<TBCDField>;
    case ftDate:
        return &make<TDateField>;
    case ftTime:
        return &make<TTimeField>;
    case ftDateTime:
        return &make<TDateTimeField>;
    case ftBytes:
        return &make<TBytesField>;
    case ftVarBytes:
        return &make<TVarBytesField>;
    case ftBlob:
        return &make<TBlobField>;
    case ftMemo:
        return &make<TMemoField>;
    case ftGraphic:
        return &make<TGraphicField>;
    case ftFmtMemo:
        return [](TComponent* o) { return makeBlobOfType(o, ftFmtMemo); };
    case ftParadoxOle:
        return [](TComponent* o) { return makeBlobOfType(o, ftParadoxOle); };
    case ftDBaseOle:
        return [](TComponent* o) { return makeBlobOfType(o, ftDBaseOle); };
    case ftTypedBinary:
        return [](TComponent* o) { return makeBlobOfType(o, ftTypedBinary); };
    default:
        return nullptr;
    }
}

const char* FieldTypeName(TFieldType type) noexcept {
    static const char* const kNames[] = {
        "Unknown",    "String",     "Smallint", "Integer",     "Word",      "Boolean",
        "Float",      "Currency",   "BCD",      "Date",        "Time",      "DateTime",
        "Bytes",      "VarBytes",   "AutoInc",  "Blob",        "Memo",      "Graphic",
        "FmtMemo",    "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor",    "FixedChar",
        "WideString", "Largeint",   "ADT",      "Array",       "Reference", "DataSet",
        "OraBlob",    "OraClob",    "Variant",  "Interface",   "IDispatch", "Guid",
        "TimeStamp",  "FMTBcd"};
    if (type < 0 || type >= kFieldTypeCount)
        return "Unknown";
    return kNames[type];
}

} // namespace tovrin::host
