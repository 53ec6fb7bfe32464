// Dataset records to output cells.
#include "DataSetOutput.h"

#include <algorithm>

#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/DateTime.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/host/FieldsTyped.h>
#include <tovrin5/host/SysUtils.h>

namespace tovrin::sqltool {

namespace {

std::string hexBytes(const std::string& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out = "0x";
    out.reserve(2 + bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

// The formats of date and time cells, made once rather than for every value.
const std::string kDateTimeFormat = "yyyy-mm-dd hh:nn:ss.zzz";
const std::string kDateFormat = "yyyy-mm-dd";
const std::string kTimeFormat = "hh:nn:ss.zzz";

bool isNumericType(host::TFieldType type) {
    switch (type) {
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftAutoInc:
    case host::ftLargeint:
    case host::ftFloat:
    case host::ftCurrency:
    case host::ftBCD:
    case host::ftFMTBcd:
        return true;
    default:
        return false;
    }
}

} // namespace

std::string withDecimals(std::string text, int decimals) {
    if (decimals <= 0)
        return text;
    std::size_t point = text.find('.');
    if (point == std::string::npos) {
        point = text.size();
        text += '.';
    }
    const std::size_t have = text.size() - point - 1;
    if (have < static_cast<std::size_t>(decimals))
        text.append(static_cast<std::size_t>(decimals) - have, '0');
    return text;
}

Cell fieldCell(const host::TField& field) {
    if (field.IsNull())
        return Cell::null();
    switch (field.DataType()) {
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftAutoInc:
        return Cell::number(field.AsString());
    case host::ftLargeint:
        return Cell::exactNumber(field.AsString());
    case host::ftBCD:
    case host::ftFMTBcd: {
        // Every digit, with the column's scale (money: at least two decimals).
        const auto* decimal = dynamic_cast<const host::TBCDField*>(&field);
        const int decimals = decimal != nullptr && decimal->Currency() ? 2 : field.Size();
        return Cell::exactNumber(withDecimals(field.AsString(), decimals));
    }
    case host::ftFloat:
    case host::ftCurrency:
        return Cell::number(host::FloatToStrSep(field.AsFloat(), '.'));
    case host::ftBoolean:
        return Cell::boolean(field.AsBoolean());
    case host::ftDateTime:
    case host::ftTimeStamp:
        return Cell::textValue(host::FormatDateTime(kDateTimeFormat, field.AsDateTime()));
    case host::ftDate:
        return Cell::textValue(host::FormatDateTime(kDateFormat, field.AsDateTime()));
    case host::ftTime:
        return Cell::textValue(host::FormatDateTime(kTimeFormat, field.AsDateTime()));
    case host::ftBytes:
    case host::ftVarBytes:
    case host::ftBlob:
    case host::ftGraphic:
    case host::ftTypedBinary:
        return Cell::textValue(hexBytes(field.AsString()));
    default:
        return Cell::textValue(field.AsString());
    }
}

std::size_t declaredWidth(const host::TField& field) {
    switch (field.DataType()) {
    case host::ftSmallint:
        return 6;
    case host::ftWord:
        return 5;
    case host::ftInteger:
    case host::ftAutoInc:
        return 11;
    case host::ftLargeint:
        return 20;
    case host::ftFloat:
    case host::ftCurrency:
        return 21;
    case host::ftBCD:
    case host::ftFMTBcd: {
        // Every digit, a sign and a decimal point (Size is the scale, Precision the digits).
        const auto* exact = dynamic_cast<const host::TBCDField*>(&field);
        const int digits = exact != nullptr ? exact->Precision() : 0;
        return digits > 0 ? static_cast<std::size_t>(digits) + 2 : 21;
    }
    case host::ftBoolean:
        return 1;
    case host::ftDateTime:
    case host::ftTimeStamp:
        return kDateTimeFormat.size();
    case host::ftDate:
        return kDateFormat.size();
    case host::ftTime:
        return kTimeFormat.size();
    case host::ftString:
    case host::ftFixedChar:
    case host::ftWideString:
        return static_cast<std::size_t>(std::max(field.Size(), 0));
    case host::ftBytes:
    case host::ftVarBytes:
        return 2 + 2 * static_cast<std::size_t>(std::max(field.Size(), 0));
    default:
        return 0; // text and image: as wide as the name, values overflow
    }
}

std::vector<ColumnInfo> datasetColumns(const host::TDataSet& data) {
    std::vector<ColumnInfo> columns;
    const host::TFields& fields = data.Fields();
    for (int i = 0; i < fields.Count(); ++i) {
        const host::TField* field = fields[i];
        if (!field->Visible())
            continue;
        ColumnInfo column{field->FieldName(),
                          isNumericType(field->DataType()) || field->DataType() == host::ftBoolean,
                          declaredWidth(*field)};
        // The query names a column the server sent without a name after its position.
        column.unnamed = column.name == "COLUMN" + std::to_string(i + 1);
        columns.push_back(std::move(column));
    }
    return columns;
}

Cell variantCell(const host::Variant& value, host::TFieldType type, int decimals) {
    if (value.IsNull() || value.IsEmpty())
        return Cell::null();
    switch (type) {
    case host::ftBCD:
    case host::ftFMTBcd:
        return Cell::exactNumber(withDecimals(value.AsString(), decimals));
    case host::ftLargeint:
        return Cell::exactNumber(value.AsString());
    case host::ftFloat:
    case host::ftCurrency:
        return Cell::number(host::FloatToStrSep(value.AsFloat(), '.'));
    case host::ftBoolean:
        return Cell::boolean(value.AsBoolean());
    case host::ftDateTime:
    case host::ftTimeStamp:
        return Cell::textValue(host::FormatDateTime(kDateTimeFormat, value.AsDateTime()));
    case host::ftBytes:
    case host::ftVarBytes:
    case host::ftBlob:
        return Cell::textValue(hexBytes(value.AsBytes()));
    default:
        break;
    }
    if (isNumericType(type))
        return Cell::number(value.AsString());
    return Cell::textValue(value.AsString());
}

std::int64_t writeDataSet(host::TDataSet& data, ResultWriter& writer, int resultNumber,
                          RowSelection rows, bool counted) {
    writer.beginResult(resultNumber, datasetColumns(data));
    std::vector<const host::TField*> visible;
    const host::TFields& fields = data.Fields();
    for (int i = 0; i < fields.Count(); ++i)
        if (fields[i]->Visible())
            visible.push_back(fields[i]);
    std::vector<Cell> row(visible.size());
    auto writeCurrent = [&] {
        for (std::size_t i = 0; i < visible.size(); ++i)
            row[i] = fieldCell(*visible[i]);
        writer.writeRow(row);
    };
    std::int64_t count = 0;
    if (rows == RowSelection::Current) {
        if (!data.IsEmpty()) {
            writeCurrent();
            count = 1;
        }
    } else if (rows == RowSelection::All) {
        for (data.First(); !data.Eof(); data.Next()) {
            if (writer.stopRequested() || writer.writeFailed())
                break; // Ctrl-C or a failed write: the rest is not written
            writeCurrent();
            ++count;
        }
    }
    writer.endResult(count, counted && !writer.stopRequested());
    return count;
}

} // namespace tovrin::sqltool
