// TSybQuery: describing a row result into column descriptors and field definitions, and
// loading every row of it into stored records.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybClientField.h"
#include "tovrin5/query/SybConnection.h"
#include "tovrin5/query/SybQuery.h"

namespace tovrin {

CS_CONTEXT* TSybQuery::dateContext() const {
    const TSybConnect* connection = FMaster != nullptr ? FMaster->FSybConnect : FSybConnect;
    return connection != nullptr ? connection->Context() : nullptr;
}

void TSybQuery::FetchResultSet() {
    CS_INT count = 0;
    if (ct_res_info(FCommand, CS_NUMDATA, &count, sizeof count, nullptr) != CS_SUCCEED) {
        throw host::Exception("ct_res_info failed");
    }
    for (CS_INT column = 1; column <= count; ++column) {
        // The library leaves members of the record unset; they must not be left to chance.
        CS_DATAFMT format;
        std::memset(&format, 0, sizeof format);
        if (ct_describe(FCommand, column, &format) != CS_SUCCEED) {
            throw host::Exception("ct_describe failed");
        }
        auto* field = new TSybClientField(this, column, format); // owned by FFetchFields
        if (field->Bind(FCommand) != CS_SUCCEED) {
            throw host::Exception("ct_bind failed");
        }
    }
    FCursorOpen = true;
    FieldDefs().SetUpdated(false);
    FieldDefs().Update();
    if (DefaultFields()) {
        CreateFields();
    }
    BindFields(true);
    markMoneyFields();
    CreateBuffer();
    fetchRows();
}

void TSybQuery::FetchMoreRows() {
    // The same row format goes on, but the client library wants its columns bound again.
    for (const auto& field : FFetchFields) {
        if (static_cast<TSybClientField*>(field.get())->Bind(FCommand) != CS_SUCCEED) {
            throw host::Exception("ct_bind failed");
        }
    }
    fetchRows();
}

void TSybQuery::fetchRows() {
    std::vector<TSybClientField*> unbound;
    for (const auto& field : FFetchFields) {
        auto* column = static_cast<TSybClientField*>(field.get());
        if (column->ReadsWhole()) {
            unbound.push_back(column);
        }
    }
    // Progress is reported through this query's OnFetchProgress, else its master's; with
    // neither the row count never reaches `report`.
    const TSybQuery* reporter = FOnFetchProgress                                    ? this
                                : (FMaster != nullptr && FMaster->FOnFetchProgress) ? FMaster
                                                                                    : nullptr;
    const int64_t every =
        reporter != nullptr ? std::max<int32_t>(reporter->FFetchProgressInterval, 1) : 0;
    int64_t rows = 0;
    int64_t report = reporter != nullptr ? every : INT64_MAX;
    // The forward-only read: this query's handler, else its master's.
    const TFetchRowEvent* onRow = FOnFetchRow ? &FOnFetchRow
                                  : (FMaster != nullptr && FMaster->FOnFetchRow)
                                      ? &FMaster->FOnFetchRow
                                      : nullptr;
    // A record the handler did not keep is emptied and filled again with the next row.
    struct Spare {
        TSybQuery& query;
        host::TRecordBuffer block = nullptr;
        ~Spare() {
            if (block != nullptr) {
                query.freeRecordBlobs(block);
                query.freeBlock(block);
            }
        }
    } spare{*this};
    CS_RETCODE result;
    while ((result = ct_fetch(FCommand, CS_UNUSED, CS_UNUSED, CS_UNUSED, nullptr)) == CS_SUCCEED) {
        bool read = true;
        for (TSybClientField* column : unbound) {
            if (!column->ReadUnbound(FCommand)) {
                read = false;
                break;
            }
        }
        if (!read) {
            result = CS_FAIL;
            break;
        }
        if (onRow == nullptr) {
            // A stored record comes zero-filled: only its record number needs setting.
            host::TRecordBuffer record = AllocStoredRecord();
            AddRecord(record);
            setRecordId(record, -1); // numbered when the whole result is stored
            _InternalFillRecord(record);
        } else {
            host::TRecordBuffer record =
                spare.block != nullptr ? std::exchange(spare.block, nullptr) : AllocStoredRecord();
            spare.block = record;    // owned by the guard until stored
            setRecordId(record, -1); // numbered when the whole result is stored
            _InternalFillRecord(record);
            if (offerFetchedRow(*onRow, record)) {
                spare.block = nullptr;
                AddRecord(record);
            } else {
                freeRecordBlobs(record);
                std::memset(record, 0, static_cast<std::size_t>(FRecordSize));
            }
        }
        if (++rows == report) {
            report += every;
            reporter->FOnFetchProgress(this, rows);
        }
    }
    if (result != CS_END_DATA) {
        // A lost connection leaves its messages: they are the error to report (and the
        // connection is dropped, so that the next execution logs in again).
        if (TSybConnect* connection = FMaster != nullptr ? FMaster->FSybConnect : FSybConnect) {
            connection->RaiseCommandFailure("Result fetching failed");
        }
        throw host::Exception("Result fetching failed");
    }
}

bool TSybQuery::offerFetchedRow(const TFetchRowEvent& Handler, host::TRecordBuffer Record) {
    bool keep = true;
    const host::TDataSetState saved = SetTempState(host::dsFilter);
    const host::TRecordBuffer savedBuffer = FFilterBuffer;
    FFilterBuffer = Record;
    try {
        Handler(this, keep);
    } catch (...) {
        FFilterBuffer = savedBuffer;
        RestoreState(saved);
        throw;
    }
    FFilterBuffer = savedBuffer;
    RestoreState(saved);
    return keep;
}

void TSybQuery::markMoneyFields() {
    for (int i = 0; i < Fields().Count(); ++i) {
        auto* field = dynamic_cast<host::TBCDField*>(Fields()[i]);
        const int no = field != nullptr ? field->FieldNo() : 0;
        if (no > 0 && no <= static_cast<int>(FFetchFields.size())) {
            const CS_INT type =
                static_cast<TSybClientField*>(FFetchFields[static_cast<std::size_t>(no - 1)].get())
                    ->DataType();
            field->SetCurrency(type == CS_MONEY_TYPE || type == CS_MONEY4_TYPE);
            // The slot layout follows the column's (TSybClientField::GetOstrelLength).
            field->SetInt64Slot(
                static_cast<TSybClientField*>(FFetchFields[static_cast<std::size_t>(no - 1)].get())
                    ->KeepsMoneyUnits());
        }
    }
}

void TSybQuery::_InternalFillRecord(host::TRecordBuffer Buffer) {
    CS_CONTEXT* context = dateContext();
    const std::size_t count = FFetchFields.size();
    for (std::size_t i = 0; i < count; ++i) {
        auto* column = static_cast<TSybClientField*>(FFetchFields[i].get());
        char* slot = Buffer + FFieldOffsets[i + 1];
        try {
            if (column->IsNull()) {
                slot[0] = 0;
                continue;
            }
            slot[0] = 1;
            column->StoreValue(slot + 1, context);
        } catch (const std::exception& e) {
            throw host::Exception(
                host::Format("%s._InternalFillRecord failed for field %d: %s",
                             {Name(), static_cast<int>(i), std::string(e.what())}));
        }
    }
}

void TSybQuery::InternalInitFieldDefs() {
    try {
        host::TFieldDefs& defs = FieldDefs();
        defs.Clear();
        // How many times each name (without letter case) has been made unique so far.
        std::map<std::string, int> duplicates;
        for (std::size_t i = 0; i < FFetchFields.size(); ++i) {
            auto* column = static_cast<TSybClientField*>(FFetchFields[i].get());
            const std::string name = column->GetName();
            const host::TFieldType type = column->GetOstrelDataType();
            // The host finds fields by name without letter case, so names that differ
            // only in case are duplicates too; the suffix grows until the name is free.
            std::string unique = name;
            if (defs.IndexOf(name) >= 0) {
                int& counter = duplicates[host::UpperCase(name)];
                do {
                    ++counter;
                    unique = name + "_" + std::to_string(counter);
                } while (defs.IndexOf(unique) >= 0);
            }
            host::TFieldDef* def = defs.AddFieldDef();
            def->SetFieldNo(static_cast<int>(i) + 1);
            def->SetName(unique);
            def->SetDataType(type);
            if (type == host::ftString || type == host::ftVarBytes) {
                def->SetSize(column->FieldSize());
            }
            if (type == host::ftBCD) {
                // Exact decimals: the scale as the field's size, all digits as precision
                // (money 19 and 4, smallmoney 10 and 4, numeric(p,s) p and s).
                def->SetSize(column->Scale());
                def->SetPrecision(column->Precision());
            }
            // A column the server describes as not nullable must have a value: its
            // default field is Required, and Post refuses a record that leaves it null.
            def->SetRequired((column->DataFmt().status & CS_CANBENULL) == 0);
        }
    } catch (const std::exception& e) {
        throw host::Exception("InternalInitFieldDefs failed. Error : " + std::string(e.what()));
    }
}

} // namespace tovrin
