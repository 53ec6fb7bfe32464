// Parameters: typed values with the framework's conversions, assignment from fields,
// comparison, lists with lookup by name, and their published properties for streaming.
#include "tovrin5/host/Params.h"

#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/host/PropInfo.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

namespace {

const std::vector<std::string>& fieldTypeNames() {
    static const std::vector<std::string> kNames = [] {
        std::vector<std::string> v;
        for (int i = 0; i < kFieldTypeCount; ++i)
            v.push_back(std::string("ft") + FieldTypeName(static_cast<TFieldType>(i)));
        return v;
    }();
    return kNames;
}

// Variant kind that holds a value of the field type (varEmpty: keep the value's own).
TVarType varTypeOf(TFieldType type) noexcept {
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo:
        return varString;
    case ftSmallint:
        return varSmallint;
    case ftInteger:
    case ftAutoInc:
        return varInteger;
    case ftWord:
        return varWord;
    case ftLargeint:
        return varInt64;
    case ftBoolean:
        return varBoolean;
    case ftFloat:
        return varDouble;
    case ftCurrency:
        return varCurrency;
    // A decimal keeps its value's own kind: exact text stays text, never a rounded currency.
    case ftDate:
    case ftTime:
    case ftDateTime:
        return varDate;
    default:
        return varEmpty;
    }
}

} // namespace

TFieldType VarTypeToDataType(TVarType VarType) noexcept {
    switch (VarType & varTypeMask) {
    case varSmallint:
    case varShortInt:
    case varByte:
        return ftSmallint;
    case varInteger:
    case varWord:
    case varLongWord:
        return ftInteger;
    case varInt64:
        return ftLargeint;
    case varSingle:
    case varDouble:
        return ftFloat;
    case varCurrency:
        return ftCurrency;
    case varDate:
        return ftDateTime;
    case varBoolean:
        return ftBoolean;
    case varString:
        return ftString;
    default:
        return (VarType & varArray) ? ftBlob : ftUnknown;
    }
}

// ---- TParam ------------------------------------------------------------------------------

TParam::TParam(TCollection* AParams) : TCollectionItem(AParams) {}

TParam::TParam(TParams* AParams, TParamType AParamType)
    : TCollectionItem(AParams), m_paramType(AParamType) {}

std::string TParam::DisplayName() const {
    return m_name.empty() ? TCollectionItem::DisplayName() : m_name;
}

void TParam::SetDataType(TFieldType Value) {
    if (Value == m_dataType)
        return;
    TVarType vt = varTypeOf(Value);
    if (!IsNull() && vt != varEmpty && !m_value.IsArray())
        m_value = VarAsType(m_value, vt);
    m_dataType = Value;
}

void TParam::Clear() {
    m_value = Null();
}

void TParam::SetValue(const Variant& Value) {
    if (m_dataType == ftUnknown)
        m_dataType = VarTypeToDataType(Value.VarType());
    m_value = Value;
    m_bound = !Value.IsEmpty();
}

std::string TParam::AsString() const {
    if (IsNull())
        return {};
    if (m_value.VarType() == varBoolean)
        return m_value.AsBoolean() ? "True" : "False";
    return m_value.IsArray() ? m_value.AsBytes() : m_value.AsString();
}

int32_t TParam::AsInteger() const {
    // Null and Boolean read as AsLargeInt reads them (0, and -1 for True).
    if (IsNull() || m_value.VarType() == varBoolean)
        return static_cast<int32_t>(AsLargeInt());
    return m_value.AsInteger();
}

int64_t TParam::AsLargeInt() const {
    if (IsNull())
        return 0;
    if (m_value.VarType() == varBoolean)
        return m_value.AsBoolean() ? -1 : 0;
    return m_value.AsInt64();
}

double TParam::AsFloat() const {
    return IsNull() ? 0.0 : m_value.AsFloat();
}

bool TParam::AsBoolean() const {
    return IsNull() ? false : m_value.AsBoolean();
}

TDateTime TParam::AsDateTime() const {
    return IsNull() ? 0.0 : m_value.AsDateTime();
}

std::string TParam::AsBlob() const {
    if (IsNull())
        return {};
    return m_value.VarType() == varString ? m_value.AsString() : m_value.AsBytes();
}

TBcd TParam::AsBCD() const {
    if (IsNull())
        return TBcd{};
    const TVarType type = m_value.VarType();
    if (type == varString)
        return StrToBCD(m_value.AsString());
    if (VarTypeIsInteger(type))
        return StrToBCD(std::to_string(m_value.AsInt64()));
    if (type == varBoolean)
        return StrToBCD(m_value.AsBoolean() ? "1" : "0");
    return DoubleToBCD(m_value.AsFloat(), 63);
}

void TParam::setTyped(TFieldType type, const Variant& value) {
    m_dataType = type; // before SetValue, which takes the value's own type only for ftUnknown
    SetValue(value);
}

void TParam::SetAsString(const std::string& Value) {
    setTyped(ftString, Variant(Value));
}
void TParam::SetAsInteger(int32_t Value) {
    setTyped(ftInteger, Variant(Value));
}
void TParam::SetAsSmallInt(int32_t Value) {
    setTyped(ftSmallint, Variant(static_cast<int16_t>(Value)));
}
void TParam::SetAsWord(int32_t Value) {
    setTyped(ftWord, Variant(static_cast<uint16_t>(Value)));
}
void TParam::SetAsLargeInt(int64_t Value) {
    setTyped(ftLargeint, Variant(static_cast<long long>(Value)));
}
void TParam::SetAsFloat(double Value) {
    setTyped(ftFloat, Variant(Value));
}
void TParam::SetAsCurrency(double Value) {
    setTyped(ftCurrency, VarFromCurrency(Value));
}
void TParam::SetAsBCD(const TBcd& Value) {
    setTyped(ftBCD, Variant(BCDToStr(Value)));
}
void TParam::SetAsBoolean(bool Value) {
    setTyped(ftBoolean, Variant(Value));
}
void TParam::SetAsDateTime(TDateTime Value) {
    setTyped(ftDateTime, VarFromDateTime(Value));
}
void TParam::SetAsDate(TDateTime Value) {
    setTyped(ftDate, VarFromDateTime(Value));
}
void TParam::SetAsTime(TDateTime Value) {
    setTyped(ftTime, VarFromDateTime(Value));
}
void TParam::SetAsMemo(const std::string& Value) {
    setTyped(ftMemo, Variant(Value));
}
void TParam::SetAsBlob(const std::string& Value) {
    setTyped(ftBlob, VarFromBytes(Value));
}

int TParam::GetDataSize() const {
    switch (m_dataType) {
    case ftUnknown:
        DatabaseErrorFmt(dbconsts::SParamTypeUnknown, {m_name});
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
        return static_cast<int>(AsString().size()) + 1;
    case ftBoolean:
    case ftSmallint:
    case ftWord:
        return 2;
    case ftBCD:
        return static_cast<int>(sizeof(TBcd));
    case ftDateTime:
    case ftCurrency:
    case ftFloat:
    case ftLargeint:
        return 8;
    case ftTime:
    case ftDate:
    case ftAutoInc:
    case ftInteger:
        return 4;
    case ftBytes:
    case ftVarBytes:
        return IsNull() ? 0 : static_cast<int>(AsBlob().size());
    case ftBlob:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
        return static_cast<int>(AsBlob().size());
    default:
        return 0;
    }
}

void TParam::AssignFieldValue(TField* Field, const Variant& Value) {
    if (!Field)
        return;
    TFieldType type = Field->DataType();
    if (type == ftMemo && Field->Size() > 255)
        type = ftString;
    m_dataType = type;
    if (Value.IsNull())
        Clear();
    else
        m_value = Value;
    m_bound = true;
}

void TParam::AssignField(TField* Field) {
    if (!Field)
        return;
    AssignFieldValue(Field, Field->Value());
    m_name = Field->FieldName();
}

void TParam::Assign(TPersistent* Source) {
    if (auto* p = dynamic_cast<TParam*>(Source)) {
        m_name = p->m_name;
        m_dataType = p->m_dataType;
        m_paramType = p->m_paramType;
        m_value = p->m_value;
        m_bound = p->m_bound;
        return;
    }
    if (auto* f = dynamic_cast<TField*>(Source)) {
        AssignField(f);
        return;
    }
    TCollectionItem::Assign(Source);
}

bool TParam::IsEqual(const TParam* Value) const {
    if (!Value)
        return false;
    if (m_name != Value->m_name || m_dataType != Value->m_dataType ||
        m_paramType != Value->m_paramType || IsNull() != Value->IsNull() ||
        m_bound != Value->m_bound)
        return false;
    if (IsNull())
        return true;
    if (m_value.VarType() != Value->m_value.VarType())
        return false;
    try {
        return m_value == Value->m_value;
    } catch (const EVariantError&) {
        return false;
    }
}

void TParam::GetPublishedProperties(TPropList& list) const {
    TCollectionItem::GetPublishedProperties(list);
    list.push_back(StringProperty<TParam>("Name", &TParam::Name, &TParam::SetName));
    list.push_back(EnumProperty<TParam, TFieldType>("DataType", "TFieldType", fieldTypeNames(),
                                                    &TParam::DataType, &TParam::SetDataType)
                       .withDefault(Variant(static_cast<int32_t>(ftUnknown))));
    list.push_back(EnumProperty<TParam, TParamType>(
                       "ParamType", "TParamType",
                       {"ptUnknown", "ptInput", "ptOutput", "ptInputOutput", "ptResult"},
                       &TParam::ParamType, &TParam::SetParamType)
                       .withDefault(Variant(static_cast<int32_t>(ptUnknown))));
    list.push_back(VariantProperty<TParam>("Value", &TParam::Value, &TParam::SetValue)
                       .storedIf<TParam>([](const TParam& p) { return !p.IsNull(); }));
}

// ---- TParams ---------------------------------------------------------------------------------

TParams::TParams(TPersistent* Owner)
    : TCollection("TParam", [](TCollection* c) -> TCollectionItem* { return new TParam(c); }) {
    SetOwner(Owner);
}

TParam* TParams::Items(int Index) const {
    return static_cast<TParam*>(TCollection::Items(Index));
}

TParam* TParams::FindParam(const std::string& Value) const {
    for (int i = 0; i < Count(); ++i)
        if (SameName(Items(i)->Name(), Value))
            return Items(i);
    return nullptr;
}

TParam* TParams::ParamByName(const std::string& Value) const {
    TParam* p = FindParam(Value);
    if (!p)
        DatabaseErrorFmt(dbconsts::SParameterNotFound, {Value});
    return p;
}

TParam* TParams::CreateParam(TFieldType FldType, const std::string& ParamName,
                             TParamType ParamType) {
    auto* p = static_cast<TParam*>(Add());
    p->SetName(ParamName);
    p->SetDataType(FldType);
    p->SetParamType(ParamType);
    return p;
}

void TParams::AddParam(TParam* Value) {
    Value->SetCollection(this);
}

void TParams::RemoveParam(TParam* Value) {
    if (Value->Collection() == this)
        Value->SetCollection(nullptr);
}

void TParams::AssignValues(TParams* Value) {
    if (!Value)
        return;
    for (int i = 0; i < Value->Count(); ++i) {
        TParam* source = Value->Items(i);
        if (TParam* target = FindParam(source->Name()))
            target->Assign(source);
    }
}

bool TParams::IsEqual(const TParams* Value) const {
    if (!Value || Value->Count() != Count())
        return false;
    for (int i = 0; i < Count(); ++i)
        if (!Items(i)->IsEqual(Value->Items(i)))
            return false;
    return true;
}

Variant TParams::ParamValues(const std::string& ParamNames) const {
    std::vector<Variant> values;
    int pos = 1;
    while (pos <= static_cast<int>(ParamNames.size()))
        values.push_back(ParamByName(ExtractFieldName(ParamNames, pos))->Value());
    if (values.size() == 1)
        return values[0];
    return VarArrayOf(values);
}

void TParams::SetParamValues(const std::string& ParamNames, const Variant& Value) {
    std::vector<TParam*> list;
    int pos = 1;
    while (pos <= static_cast<int>(ParamNames.size()))
        list.push_back(ParamByName(ExtractFieldName(ParamNames, pos)));
    VarSpreadOver(list, Value);
}

} // namespace tovrin::host
