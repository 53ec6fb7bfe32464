// Field values to Qt cells and back.
#include "tovrin5/qt/FieldValues.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>
#include <string>

#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/Fields.h"

namespace tovrin::qt {

namespace {

/// Bytes shown of a binary value; longer values end in an ellipsis.
constexpr int kShownBytes = 64;
/// Characters a cell keeps of a long text (the whole value stays in the dataset).
constexpr int kShownChars = 4000;

enum class Kind { Integer, Boolean, Float, Decimal, Date, Time, DateTime, Binary, Text };

Kind kindOf(host::TFieldType type) {
    switch (type) {
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftAutoInc:
    case host::ftLargeint:
        return Kind::Integer;
    case host::ftBoolean:
        return Kind::Boolean;
    case host::ftFloat:
    case host::ftCurrency:
        return Kind::Float;
    case host::ftBCD:
    case host::ftFMTBcd:
        return Kind::Decimal;
    case host::ftDate:
        return Kind::Date;
    case host::ftTime:
        return Kind::Time;
    case host::ftDateTime:
    case host::ftTimeStamp:
        return Kind::DateTime;
    case host::ftBytes:
    case host::ftVarBytes:
    case host::ftBlob:
    case host::ftGraphic:
    case host::ftTypedBinary:
    case host::ftParadoxOle:
    case host::ftDBaseOle:
        return Kind::Binary;
    default:
        return Kind::Text;
    }
}

QDate dateOf(host::TDateTime value) {
    int year = 0, month = 0, day = 0;
    host::DecodeDate(value, year, month, day);
    return QDate(year, month, day);
}

QTime timeOf(host::TDateTime value) {
    int hour = 0, minute = 0, second = 0, msec = 0;
    host::DecodeTime(value, hour, minute, second, msec);
    return QTime(hour, minute, second, msec);
}

host::TDateTime dateTimeOf(const QDate& date, const QTime& time) {
    const host::TDateTime days =
        date.isValid() ? host::EncodeDate(date.year(), date.month(), date.day()) : 0.0;
    const host::TDateTime fraction =
        time.isValid() ? host::EncodeTime(time.hour(), time.minute(), time.second(), time.msec())
                       : 0.0;
    // Before 30 December 1899 the day counts down and the time of day still counts up.
    return days >= 0 ? days + fraction : days - fraction;
}

QString hexText(const QByteArray& bytes) {
    QString text = QStringLiteral("0x") + QString::fromLatin1(bytes.left(kShownBytes).toHex());
    if (bytes.size() > kShownBytes)
        text += QChar(0x2026);
    return text;
}

} // namespace

void readField(const host::TField& field, CachedCell& cell) {
    cell.isNull = field.IsNull();
    if (cell.isNull) {
        cell.display.clear();
        cell.value = QVariant();
        return;
    }
    switch (kindOf(field.DataType())) {
    case Kind::Integer:
        cell.value = QVariant(static_cast<qlonglong>(field.AsLargeInt()));
        cell.display = QString::fromStdString(field.DisplayText());
        return;
    case Kind::Boolean:
        cell.value = QVariant(field.AsBoolean());
        cell.display = QString::fromStdString(field.DisplayText());
        return;
    case Kind::Float:
        cell.value = QVariant(field.AsFloat());
        cell.display = QString::fromStdString(field.DisplayText());
        return;
    case Kind::Date:
        cell.value = QVariant(dateOf(field.AsDateTime()));
        cell.display = QString::fromStdString(field.DisplayText());
        return;
    case Kind::Time:
        cell.value = QVariant(timeOf(field.AsDateTime()));
        cell.display = QString::fromStdString(field.DisplayText());
        return;
    case Kind::DateTime: {
        const host::TDateTime value = field.AsDateTime();
        cell.value = QVariant(QDateTime(dateOf(value), timeOf(value)));
        cell.display = QString::fromStdString(field.DisplayText());
        return;
    }
    case Kind::Binary: {
        const std::string bytes = field.AsString();
        const QByteArray array(bytes.data(), static_cast<int>(bytes.size()));
        cell.value = QVariant(array);
        cell.display = hexText(array);
        return;
    }
    case Kind::Decimal:
    case Kind::Text:
        cell.display = QString::fromStdString(field.DisplayText());
        if (cell.display.size() > kShownChars)
            cell.display = cell.display.left(kShownChars) + QChar(0x2026);
        cell.value = QVariant(cell.display);
        return;
    }
}

int alignmentOf(const host::TField& field) {
    switch (kindOf(field.DataType())) {
    case Kind::Integer:
    case Kind::Float:
    case Kind::Decimal:
        return Qt::AlignRight | Qt::AlignVCenter;
    default:
        return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

bool needsToolTip(const QString& text) {
    return text.size() > 40 || text.contains(QLatin1Char('\n'));
}

QString toolTipText(const QString& text) {
    return text.size() > kShownChars ? text.left(kShownChars) + QChar(0x2026) : text;
}

QColor nullBackground() {
    return QColor(128, 128, 128, 48);
}

void assignField(host::TField& field, const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        field.Clear();
        return;
    }
    const Kind kind = kindOf(field.DataType());
    switch (value.userType()) {
    case QMetaType::Bool:
        field.SetAsBoolean(value.toBool());
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        field.SetAsLargeInt(value.toLongLong());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        field.SetAsFloat(value.toDouble());
        return;
    case QMetaType::QDate:
        field.SetAsDateTime(dateTimeOf(value.toDate(), QTime()));
        return;
    case QMetaType::QTime:
        field.SetAsDateTime(dateTimeOf(QDate(), value.toTime()));
        return;
    case QMetaType::QDateTime: {
        const QDateTime dateTime = value.toDateTime();
        field.SetAsDateTime(dateTimeOf(dateTime.date(), dateTime.time()));
        return;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        field.SetAsString(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        return;
    }
    default:
        break;
    }
    const QString text = value.toString();
    if (text.isEmpty() && kind != Kind::Text) {
        field.Clear();
        return;
    }
    if (kind == Kind::Binary && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QByteArray bytes = QByteArray::fromHex(text.mid(2).toLatin1());
        field.SetAsString(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        return;
    }
    field.SetAsString(text.toStdString());
}

} // namespace tovrin::qt
