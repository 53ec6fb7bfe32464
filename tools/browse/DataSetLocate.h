// Locate as the grid shows values: the first record whose field, as its cell shows it
// (numbers with their places, dates as yyyy-MM-dd HH:mm:ss.zzz), starts with the text.
#pragma once

#include <QString>

namespace tovrin::host {
class TDataSet;
class TField;
} // namespace tovrin::host

namespace tovrin::browse {

/// Makes the first record (in the dataset's order) whose field's shown text starts with
/// text, ignoring letter case, the current one, and returns true; the cursor stays where
/// it was when none does. Other links are told once at the end.
bool locateShown(host::TDataSet& dataSet, const host::TField& field, const QString& text);

} // namespace tovrin::browse
