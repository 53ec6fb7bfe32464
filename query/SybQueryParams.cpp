// TSybQuery: parameter markers of the SQL text, the parameter list, the final SQL text
// with literals, and the output parameters a procedure returned.
#include <algorithm>
#include <memory>
#include <string>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybConnection.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybSqlParams.h"

namespace tovrin {

void TSybQuery::QueryChanged(host::TObject* /*Sender*/) {
    host::TParams fresh(this);
    ParseSQL(&fresh, FSQL->Text());
    fresh.AssignValues(FParams.get());
    FParams->Clear();
    FParams->Assign(&fresh);
    pairMappingsByName();
}

void TSybQuery::pairMappingsByName() {
    for (const auto& mapping : FParamMappings) {
        mapping->SetParam(FParams->FindParam(mapping->Name()));
    }
}

void TSybQuery::ParseSQL(host::TParams* Params, const std::string& SQL) {
    ClearParams();
    sqltext::TScan scan = sqltext::ScanMarkers(SQL);
    FParamMappings.reserve(scan.Markers.size());
    // One parameter per name, however often it is used; every marker of it gets its value.
    for (sqltext::TMarker& marker : scan.Markers) {
        host::TParam* param = Params->FindParam(marker.Name);
        if (param == nullptr) {
            param = Params->CreateParam(host::ftUnknown, marker.Name, host::ptUnknown);
        }
        FParamMappings.push_back(std::make_unique<TParamMapping>(
            std::move(marker.Name), param, marker.NamePos, std::move(marker.PrecedingText)));
    }
    FSQLTail = std::move(scan.Tail);
}

void TSybQuery::ClearParams() {
    FParamMappings.clear();
}

void TSybQuery::ClearParamFields() {
    FParamFields.clear();
}

std::string TSybQuery::GetSQLText() {
    const host::TComponentState state = ComponentState();
    if (state.Contains(host::csReading) || state.Contains(host::csWriting) ||
        state.Contains(host::csDestroying)) {
        return {};
    }
    // A blank can only go next to a literal (every piece but the first follows one), so the
    // text between the markers reaches the server as written.
    std::string text;
    for (std::size_t i = 0; i < FParamMappings.size(); ++i) {
        const TParamMapping& mapping = *FParamMappings[i];
        sqltext::AppendSqlPiece(text, mapping.PrecedingText());
        sqltext::AppendSqlPiece(text, ParamStrValue(FParams->ParamByName(mapping.Name())),
                                i > 0 && mapping.PrecedingText().empty());
    }
    sqltext::AppendSqlPiece(text, FSQLTail);
    return text;
}

void TSybQuery::SetSQLText(const std::string& /*Value*/) {}

host::TParam* TSybQuery::ParamByName(const std::string& Value) const {
    return FParams->ParamByName(Value);
}

uint16_t TSybQuery::GetParamsCount() const noexcept {
    return static_cast<uint16_t>(FParams->Count());
}

void TSybQuery::ParseParams(host::TParams* Params, const std::string& SQL) {
    sqltext::ParseParams(*Params, SQL);
}

std::string TSybQuery::ParamStrValue(host::TParam* Param) const {
    return sqltext::ParamStrValue(*Param);
}

std::string TSybQuery::DateTimeAsString(host::TDateTime Value) const {
    return sqltext::DateTimeAsString(Value);
}

std::string TSybQuery::PrepareStringValue(const std::string& Value) {
    return sqltext::PrepareStringValue(Value);
}

std::string TSybQuery::PrepareBinaryValue(const std::string& Value) {
    return sqltext::PrepareBinaryValue(Value);
}

TSybClientField* TSybQuery::OutputParam(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(FParamFields.size())) {
        throw host::EListError("List index out of bounds (%d)", {Index});
    }
    return FParamFields[static_cast<std::size_t>(Index)].get();
}

host::Variant TSybQuery::OutputParamValue(int Index) const {
    return OutputParam(Index)->KeptValue();
}

host::Variant TSybQuery::OutputParamByName(const std::string& Name) const {
    auto bare = [](std::string name) {
        name = host::Trim(name);
        return !name.empty() && name[0] == '@' ? name.substr(1) : name;
    };
    const std::string wanted = bare(Name);
    for (const auto& field : FParamFields) {
        if (host::SameText(bare(field->GetName()), wanted)) {
            return field->KeptValue();
        }
    }
    host::DatabaseError("Output parameter '" + Name + "' not found");
}

} // namespace tovrin
