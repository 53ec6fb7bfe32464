// TDataSet: field lookup and field values by name, calculated and lookup fields, and the
// dataset's events as published properties.
#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/PropInfo.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

// ---- calculated fields -------------------------------------------------------------------------

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
    if (m_calcFieldsSize <= 0)
        return;
    TDataSetState saved = SetTempState(dsCalcFields);
    try {
        CalculateFields(Buffer);
    } catch (...) {
        RestoreState(saved);
        throw;
    }
    RestoreState(saved);
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
    m_calcBuffer = Buffer;
    if (m_state != dsInternalCalc) {
        ClearCalcFields(Buffer);
        for (TField* f : m_fields)
            if (f->m_fieldKind == fkLookup)
                f->CalcLookupValue();
    }
    DoOnCalcFields();
}

void TDataSet::ClearCalcFields(TRecordBuffer /*Buffer*/) {}

// ---- fields
// ---------------------------------------------------------------------------------------

TField* TDataSet::FieldByName(const std::string& FieldName) const {
    return m_fields.FieldByName(FieldName);
}

TField* TDataSet::FindField(const std::string& FieldName) const {
    return m_fields.FindField(FieldName);
}

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const {
    int pos = 1;
    while (pos <= static_cast<int>(FieldNames.size())) {
        std::string name = ExtractFieldName(FieldNames, pos);
        List.push_back(FieldByName(name));
    }
}

void TDataSet::GetFieldNames(std::vector<std::string>& List) const {
    if (m_fields.Count() > 0) {
        for (TField* f : m_fields)
            List.push_back(f->FieldName());
        return;
    }
    for (int i = 0; i < m_fieldDefs.Count(); ++i)
        List.push_back(m_fieldDefs.Items(i)->Name());
}

Variant TDataSet::GetFieldValues(const std::string& FieldNames) const {
    std::vector<TField*> list;
    GetFieldList(list, FieldNames);
    if (list.size() == 1)
        return list[0]->Value();
    std::vector<Variant> values;
    values.reserve(list.size());
    for (TField* f : list)
        values.push_back(f->Value());
    return VarArrayOf(values);
}

void TDataSet::SetFieldValues(const std::string& FieldNames, const Variant& Value) {
    std::vector<TField*> list;
    GetFieldList(list, FieldNames);
    VarSpreadOver(list, Value);
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
    for (std::size_t i = 0; i < Values.size() && i < static_cast<std::size_t>(m_fields.Count());
         ++i) {
        if (Values[i].IsEmpty())
            continue;
        m_fields.Fields(static_cast<int>(i))->SetValue(Values[i]);
    }
}

void TDataSet::ClearFields() {
    if (!dsWriteModes.Contains(m_state))
        DatabaseError(dbconsts::SNotEditing, this);
    for (TField* f : m_fields)
        if (f->m_fieldKind == fkData)
            f->Clear();
}

// ---- published events ---------------------------------------------------------------------

void TDataSet::AddEventProperties(TPropList& list) {
    using NSig = void(TDataSet*);
    using ESig = void(TDataSet*, EDatabaseError*, TDataAction&);
    using FSig = void(TDataSet*, bool&);
#define HOST_NOTIFY(Name)                                                                          \
    list.push_back(EventProperty<TDataSet, NSig>(#Name, "TDataSetNotifyEvent", &TDataSet::Name,    \
                                                 &TDataSet::Set##Name))
#define HOST_ERROR(Name)                                                                           \
    list.push_back(EventProperty<TDataSet, ESig>(#Name, "TDataSetErrorEvent", &TDataSet::Name,     \
                                                 &TDataSet::Set##Name))
    HOST_NOTIFY(BeforeOpen);
    HOST_NOTIFY(AfterOpen);
    HOST_NOTIFY(BeforeClose);
    HOST_NOTIFY(AfterClose);
    HOST_NOTIFY(BeforeInsert);
    HOST_NOTIFY(AfterInsert);
    HOST_NOTIFY(BeforeEdit);
    HOST_NOTIFY(AfterEdit);
    HOST_NOTIFY(BeforePost);
    HOST_NOTIFY(AfterPost);
    HOST_NOTIFY(BeforeCancel);
    HOST_NOTIFY(AfterCancel);
    HOST_NOTIFY(BeforeDelete);
    HOST_NOTIFY(AfterDelete);
    HOST_NOTIFY(BeforeScroll);
    HOST_NOTIFY(AfterScroll);
    HOST_NOTIFY(OnCalcFields);
    HOST_ERROR(OnDeleteError);
    HOST_ERROR(OnEditError);
    list.push_back(EventProperty<TDataSet, FSig>("OnFilterRecord", "TFilterRecordEvent",
                                                 &TDataSet::OnFilterRecord,
                                                 &TDataSet::SetOnFilterRecord));
    HOST_NOTIFY(OnNewRecord);
    HOST_ERROR(OnPostError);
#undef HOST_NOTIFY
#undef HOST_ERROR
}

} // namespace tovrin::host
