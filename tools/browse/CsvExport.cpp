// Writing a result as CSV.
#include "CsvExport.h"

#include <cstdint>
#include <string>
#include <vector>

#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/qt/FieldValues.h>

namespace tovrin::browse {

namespace {

void writeField(std::ostream& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out << text;
        return;
    }
    out << '"';
    for (char c : text) {
        if (c == '"')
            out << '"';
        out << c;
    }
    out << '"';
}

/// A field's text in the file: the whole value in the form the grid edits it (binary as
/// 0x and hexadecimal digits, dates and times as yyyy-MM-dd HH:mm:ss.zzz, exact decimals
/// with their places), whatever the locale.
std::string csvText(const host::TField& field) {
    if (field.DataType() == host::ftBCD || field.DataType() == host::ftFMTBcd) {
        qt::CachedCell cell;
        qt::readField(field, cell);
        return cell.display.toStdString();
    }
    qt::CachedCell cell;
    switch (field.DataType()) {
    case host::ftBytes:
    case host::ftVarBytes:
    case host::ftBlob:
    case host::ftDate:
    case host::ftTime:
    case host::ftDateTime:
    case host::ftTimeStamp:
        qt::readField(field, cell);
        return qt::editText(cell.value).toStdString();
    default:
        return field.AsString();
    }
}

} // namespace

std::int64_t writeCsv(host::TDataSet& dataSet, std::ostream& out) {
    std::vector<host::TField*> fields;
    for (host::TField* f : dataSet.Fields()) {
        if (f->Visible())
            fields.push_back(f);
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out << ',';
        writeField(out, fields[i]->FieldName());
    }
    out << "\r\n";

    std::int64_t written = 0;
    dataSet.CheckBrowseMode();
    dataSet.DisableControls();
    const host::TBookmark saved = dataSet.GetBookmark();
    try {
        for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (i > 0)
                    out << ',';
                if (!fields[i]->IsNull())
                    writeField(out, csvText(*fields[i]));
            }
            out << "\r\n";
            ++written;
        }
        if (!saved.empty())
            dataSet.GotoBookmark(saved);
    } catch (...) {
        dataSet.EnableControls();
        throw;
    }
    dataSet.EnableControls();
    return written;
}

} // namespace tovrin::browse
