// Locating a record by the text its cell shows.
#include "DataSetLocate.h"

#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/qt/FieldValues.h>

namespace tovrin::browse {

namespace {

bool startsWithShown(const host::TField& field, const QString& text) {
    qt::CachedCell cell;
    qt::readField(field, cell);
    if (cell.isNull)
        return false;
    // Long texts are compared whole, not as the shortened cell.
    const QString shown =
        cell.value.userType() == QMetaType::QString ? cell.value.toString() : cell.display;
    return shown.startsWith(text, Qt::CaseInsensitive);
}

} // namespace

bool locateShown(host::TDataSet& dataSet, const host::TField& field, const QString& text) {
    dataSet.CheckBrowseMode();
    dataSet.DisableControls();
    const host::TBookmark saved = dataSet.GetBookmark();
    host::TBookmark found;
    try {
        for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
            if (startsWithShown(field, text)) {
                found = dataSet.GetBookmark();
                break;
            }
        }
        if (!found.empty())
            dataSet.GotoBookmark(found);
        else if (!saved.empty())
            dataSet.GotoBookmark(saved);
    } catch (...) {
        dataSet.EnableControls();
        throw;
    }
    dataSet.EnableControls();
    return !found.empty();
}

} // namespace tovrin::browse
