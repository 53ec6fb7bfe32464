// A field's value as Qt shows and edits it: the display text and typed value of a cell,
// the alignment by type, the hint that marks NULL, and a Qt value written back to a field.
#pragma once

#include <QColor>
#include <QString>
#include <QVariant>

#include "tovrin5/qt/RowCache.h"

namespace tovrin::host {
class TField;
}

namespace tovrin::qt {

/// Reads the field of the current record into a cell: NULL, or the display text and the
/// typed value (integers as qlonglong, floating values as double, exact decimals as their
/// text with the field's scale (at least two places for money: "16.00"), dates and times
/// as QDate, QTime or QDateTime shown as "yyyy-MM-dd HH:mm:ss.zzz" whatever the locale,
/// binary values as QByteArray shown in hexadecimal, text as the whole QString; only the
/// display of a very long text or binary value is shortened).
void readField(const host::TField& field, CachedCell& cell);

/// A cell's value as text to edit, in the form assignField reads back unchanged: dates
/// and times as "yyyy-MM-dd HH:mm:ss.zzz" (dates "yyyy-MM-dd", times "HH:mm:ss.zzz"),
/// binary values as "0x" and every byte in hexadecimal, anything else as its text.
[[nodiscard]] QString editText(const QVariant& value);

/// Right for numbers, left for everything else; vertically centred.
[[nodiscard]] int alignmentOf(const host::TField& field);

/// Whether a cell's text is long or has several lines (then the tooltip shows it whole).
[[nodiscard]] bool needsToolTip(const QString& text);
/// The tooltip for a long text (at most a few thousand characters).
[[nodiscard]] QString toolTipText(const QString& text);

/// The background that tells a NULL cell from an empty text.
[[nodiscard]] QColor nullBackground();

/// Writes a Qt value to the field of the record being edited. An invalid or null value,
/// and an empty text for a field that is not text, make the field NULL; a text is
/// converted by the field itself (a binary field takes "0x" and hexadecimal digits, a
/// date or time field the forms editText writes, whatever the locale);
/// numbers, Booleans, dates and times go through the field's typed setters. Raises what
/// the field raises for a value it cannot hold.
void assignField(host::TField& field, const QVariant& value);

} // namespace tovrin::qt
