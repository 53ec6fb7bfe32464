// Field definitions: the owning list, lookup by name and creation of fields.
#include "tovrin5/host/FieldDefs.h"

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"

namespace tovrin::host {

TFieldDef::TFieldDef(TFieldDefs* AOwner, std::string AName, TFieldType ADataType, int ASize,
                     bool ARequired, int AFieldNo)
    : m_owner(AOwner), m_name(std::move(AName)), m_dataType(ADataType), m_size(ASize),
      m_fieldNo(AFieldNo), m_required(ARequired) {}

int TFieldDef::Index() const {
    for (int i = 0; i < m_owner->Count(); ++i)
        if (m_owner->Items(i) == this)
            return i;
    return -1;
}

TField* TFieldDef::CreateField(TComponent* Owner) {
    TDataSet* ds = m_owner->DataSet();
    TFieldClass cls = ds ? ds->GetFieldClass(m_dataType) : DefaultFieldClass(m_dataType);
    if (!cls)
        DatabaseErrorFmt(dbconsts::SUnknownFieldType, {m_name}, ds);
    TField* f = cls(Owner);
    try {
        if (f->DataType() == ftString || f->DataType() == ftFixedChar ||
            f->DataType() == ftWideString || f->DataType() == ftBytes ||
            f->DataType() == ftVarBytes || f->IsBlob() || f->DataType() == ftBCD)
            f->setSizeRaw(m_size);
        f->SetFieldName(m_name);
        f->SetRequired(m_required);
        if (m_internalCalc)
            f->m_fieldKind = fkInternalCalc;
        if (auto* bcd = dynamic_cast<TBCDField*>(f))
            bcd->SetPrecision(m_precision);
        if (auto* fl = dynamic_cast<TFloatField*>(f); fl && m_precision > 0)
            fl->SetPrecision(m_precision);
        f->SetDataSet(ds);
    } catch (...) {
        delete f;
        throw;
    }
    return f;
}

TFieldDef* TFieldDefs::Items(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError("List index out of bounds (%d)", {Index});
    return m_items[static_cast<std::size_t>(Index)].get();
}

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size, bool Required) {
    if (!Name.empty() && IndexOf(Name) >= 0)
        DatabaseErrorFmt(dbconsts::SDuplicateFieldDef, {Name}, m_dataSet);
    m_items.push_back(
        std::make_unique<TFieldDef>(this, Name, DataType, Size, Required, Count() + 1));
    return m_items.back().get();
}

TFieldDef* TFieldDefs::AddFieldDef() {
    m_items.push_back(
        std::make_unique<TFieldDef>(this, std::string(), ftUnknown, 0, false, Count() + 1));
    return m_items.back().get();
}

void TFieldDefs::Clear() {
    m_items.clear();
}

int TFieldDefs::IndexOf(const std::string& Name) const {
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (SameName(m_items[i]->Name(), Name))
            return static_cast<int>(i);
    return -1;
}

TFieldDef* TFieldDefs::Find(const std::string& Name) const {
    int i = IndexOf(Name);
    if (i < 0)
        DatabaseErrorFmt(dbconsts::SFieldDefNotFound, {Name}, m_dataSet);
    return m_items[static_cast<std::size_t>(i)].get();
}

void TFieldDefs::Update() {
    if (m_dataSet)
        m_dataSet->UpdateFieldDefs();
}

} // namespace tovrin::host
