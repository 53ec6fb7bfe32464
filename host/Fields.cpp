// TField base behaviour (identity, raw access through the dataset, validation, change
// notification, lookup values, conversion errors) and the TFields list.
#include "tovrin5/host/Fields.h"

#include <cstring>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

bool SameName(const std::string& a, const std::string& b) noexcept {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x == y)
            continue;
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

// ---- TField ------------------------------------------------------------------------

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
    if (m_dataSet)
        m_dataSet->m_fields.Remove(this);
}

void TField::SetDataSet(TDataSet* ADataSet) {
    if (ADataSet == m_dataSet)
        return;
    TDataSet* old = m_dataSet;
    if (old)
        old->CheckInactive();
    if (ADataSet)
        ADataSet->CheckInactive();
    if (ADataSet) {
        ADataSet->m_fields.Add(this); // checks the name first; sets m_dataSet
        if (old)
            old->m_fields.removeOnly(this);
    } else if (old) {
        old->m_fields.Remove(this);
    }
}

void TField::SetFieldName(const std::string& Value) {
    if (m_dataSet) {
        TField* other = m_dataSet->m_fields.FindField(Value);
        if (other && other != this)
            DatabaseErrorFmt(dbconsts::SDuplicateFieldName, {Value}, m_dataSet);
    }
    m_fieldName = Value;
}

void TField::SetFieldKind(TFieldKind Value) {
    if (Value == m_fieldKind)
        return;
    CheckInactive();
    m_fieldKind = Value;
}

void TField::SetSize(int Value) {
    CheckInactive();
    m_size = Value;
}

int TField::Index() const {
    return m_dataSet ? m_dataSet->m_fields.IndexOf(this) : -1;
}

std::string TField::GetDisplayName() const {
    return m_displayLabel.empty() ? m_fieldName : m_displayLabel;
}

bool TField::CanModify() const {
    if (m_readOnly || m_fieldKind == fkLookup || !m_dataSet)
        return false;
    return m_dataSet->CanModify() || m_fieldKind == fkCalculated;
}

void TField::SetLookupDataSet(TDataSet* Value) {
    CheckInactive();
    if (m_lookupDataSet == Value)
        return;
    if (m_lookupDataSet)
        m_lookupDataSet->RemoveFreeNotification(this);
    m_lookupDataSet = Value;
    if (Value)
        Value->FreeNotification(this);
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == m_lookupDataSet)
        m_lookupDataSet = nullptr;
}

void TField::CheckInactive() const {
    if (m_dataSet)
        m_dataSet->CheckInactive();
}

bool TField::GetData(void* Buffer) const {
    if (m_validating) {
        if (!m_validateBuffer)
            return false;
        if (Buffer)
            std::memcpy(Buffer, m_validateBuffer, static_cast<std::size_t>(DataSize()));
        return true;
    }
    if (!m_dataSet)
        DatabaseErrorFmt(dbconsts::SDataSetMissing, {GetDisplayName()});
    return m_dataSet->GetFieldData(const_cast<TField*>(this), Buffer);
}

void TField::SetData(const void* Buffer) {
    if (!m_dataSet)
        DatabaseErrorFmt(dbconsts::SDataSetMissing, {GetDisplayName()});
    if (!dsWriteModes.Contains(m_dataSet->State()))
        DatabaseError(dbconsts::SNotEditing, m_dataSet);
    m_dataSet->SetFieldData(this, Buffer);
}

bool TField::IsNull() const {
    return !GetData(nullptr);
}

void TField::Clear() {
    SetData(nullptr);
}

void TField::SetValue(const Variant& v) {
    if (v.IsNull())
        Clear();
    else
        SetVarValue(v);
}

Variant TField::valueInState(TDataSetState state) const {
    if (!m_dataSet)
        DatabaseErrorFmt(dbconsts::SDataSetMissing, {GetDisplayName()});
    TDataSetState saved = m_dataSet->SetTempState(state);
    try {
        Variant v = GetAsVariant();
        m_dataSet->RestoreState(saved);
        return v;
    } catch (...) {
        m_dataSet->RestoreState(saved);
        throw;
    }
}

void TField::Validate(const void* Buffer) {
    if (!m_onValidate)
        return;
    m_validateBuffer = Buffer;
    m_validating = true;
    struct Reset {
        TField* f;
        ~Reset() {
            f->m_validating = false;
            f->m_validateBuffer = nullptr;
        }
    } reset{this};
    m_onValidate(this);
}

void TField::Change() {
    m_onChange(this);
}

void TField::Bind(bool Binding) {
    if (Binding && m_fieldKind == fkLookup) {
        if (!m_lookupDataSet || m_keyFields.empty() || m_lookupKeyFields.empty() ||
            m_lookupResultField.empty())
            DatabaseErrorFmt(dbconsts::SLookupInfoError, {GetDisplayName()}, m_dataSet);
        std::vector<TField*> keys;
        m_dataSet->GetFieldList(keys, m_keyFields);
        if (m_lookupDataSet == m_dataSet)
            DatabaseError(dbconsts::SCircularDataLink, m_dataSet);
    }
}

void TField::CalcLookupValue() {
    if (!m_lookupDataSet || !m_lookupDataSet->Active()) {
        Clear();
        return;
    }
    Variant key = m_dataSet->GetFieldValues(m_keyFields);
    SetValue(m_lookupDataSet->Lookup(m_lookupKeyFields, key, m_lookupResultField));
}

void TField::Assign(TPersistent* Source) {
    if (Source == nullptr) {
        Clear();
        return;
    }
    auto* other = dynamic_cast<TField*>(Source);
    if (!other) {
        TPersistent::Assign(Source);
        return;
    }
    SetValue(other->Value());
}

void TField::AccessError(const char* typeName) const {
    DatabaseErrorFmt(dbconsts::SFieldAccessError, {GetDisplayName(), typeName});
}

std::string TField::GetAsString() const {
    AccessError("String");
}
int32_t TField::GetAsInteger() const {
    AccessError("Integer");
}
int64_t TField::GetAsLargeInt() const {
    AccessError("LargeInt");
}
double TField::GetAsFloat() const {
    AccessError("Float");
}
bool TField::GetAsBoolean() const {
    AccessError("Boolean");
}
TDateTime TField::GetAsDateTime() const {
    AccessError("DateTime");
}
Variant TField::GetAsVariant() const {
    AccessError("Variant");
}
void TField::SetAsString(const std::string&) {
    AccessError("String");
}
void TField::SetAsInteger(int32_t) {
    AccessError("Integer");
}
void TField::SetAsLargeInt(int64_t) {
    AccessError("LargeInt");
}
void TField::SetAsFloat(double) {
    AccessError("Float");
}
void TField::SetAsBoolean(bool) {
    AccessError("Boolean");
}
void TField::SetAsDateTime(TDateTime) {
    AccessError("DateTime");
}
void TField::SetVarValue(const Variant&) {
    AccessError("Variant");
}

// ---- TFields -----------------------------------------------------------------------

TField* TFields::Fields(int Index) const {
    if (Index < 0 || Index >= Count())
        DatabaseError(dbconsts::SFieldIndexError, m_dataSet);
    return m_list[static_cast<std::size_t>(Index)];
}

TField* TFields::FindField(const std::string& FieldName) const {
    for (TField* f : m_list)
        if (SameName(f->m_fieldName, FieldName))
            return f;
    return nullptr;
}

TField* TFields::FieldByName(const std::string& FieldName) const {
    TField* f = FindField(FieldName);
    if (!f)
        DatabaseErrorFmt(dbconsts::SFieldNotFound, {FieldName}, m_dataSet);
    return f;
}

TField* TFields::FieldByNumber(int FieldNo) const {
    for (TField* f : m_list)
        if (f->m_fieldNo == FieldNo)
            return f;
    return nullptr;
}

int TFields::IndexOf(const TField* Field) const {
    for (std::size_t i = 0; i < m_list.size(); ++i)
        if (m_list[i] == Field)
            return static_cast<int>(i);
    return -1;
}

void TFields::Add(TField* Field) {
    if (!Field->m_fieldName.empty() && FindField(Field->m_fieldName))
        DatabaseErrorFmt(dbconsts::SDuplicateFieldName, {Field->m_fieldName}, m_dataSet);
    m_list.push_back(Field);
    Field->m_dataSet = m_dataSet;
}

void TFields::Remove(TField* Field) {
    for (auto it = m_list.begin(); it != m_list.end(); ++it) {
        if (*it == Field) {
            m_list.erase(it);
            Field->m_dataSet = nullptr;
            return;
        }
    }
}

void TFields::removeOnly(TField* Field) {
    for (auto it = m_list.begin(); it != m_list.end(); ++it) {
        if (*it == Field) {
            m_list.erase(it);
            return;
        }
    }
}

void TFields::Clear() {
    while (!m_list.empty()) {
        TField* f = m_list.back();
        m_list.pop_back();
        f->m_dataSet = nullptr;
        delete f;
    }
}

} // namespace tovrin::host
