// Field values to Qt cells and back.
#include "tovrin5/qt/FieldValues.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <string>

#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/host/FieldsTyped.h"

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

/// The decimal text with `places` digits after the point (more when the value has more:
/// nothing exact is dropped).
QString withPlaces(const std::string& exact, int places) {
    QString text = QString::fromStdString(exact);
    if (places <= 0)
        return text;
    int point = text.indexOf(QLatin1Char('.'));
    if (point < 0) {
        point = text.size();
        text += QLatin1Char('.');
    }
    const int have = text.size() - point - 1;
    if (have < places)
        text += QString(places - have, QLatin1Char('0'));
    return text;
}

/// The places a decimal field shows: its scale, at least two for an amount of money.
int placesOf(const host::TField& field) {
    const auto* bcd = dynamic_cast<const host::TBCDField*>(&field);
    const int scale = std::max(field.Size(), 0);
    return bcd != nullptr && bcd->Currency() ? 2 : scale;
}

/// Parses text in one of the forms the cells show (with fewer places allowed), date and
/// time apart so that no time zone or daylight-saving gap can move the wall-clock time;
/// false when it is in none of them.
bool parseDateTime(const QString& text, Kind kind, QDate& date, QTime& time) {
    static const char* const kTimeForms[] = {"HH:mm:ss.zzz", "HH:mm:ss", "HH:mm"};
    const auto parseTime = [&time](const QString& part) {
        for (const char* form : kTimeForms) {
            time = QTime::fromString(part, QLatin1String(form));
            if (time.isValid())
                return true;
        }
        return false;
    };
    const QString trimmed = text.trimmed();
    if (kind == Kind::Time)
        return parseTime(trimmed);
    const int split = trimmed.indexOf(QRegularExpression(QStringLiteral("[ T]")));
    date =
        QDate::fromString(split < 0 ? trimmed : trimmed.left(split), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return false;
    time = QTime(0, 0);
    return split < 0 || parseTime(trimmed.mid(split + 1).trimmed());
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
    case Kind::Time:
    case Kind::DateTime: {
        const host::TDateTime value = field.AsDateTime();
        const Kind kind = kindOf(field.DataType());
        if (kind == Kind::Date)
            cell.value = QVariant(dateOf(value));
        else if (kind == Kind::Time)
            cell.value = QVariant(timeOf(value));
        else
            // In UTC: a wall-clock time is never moved by a daylight-saving gap.
            cell.value = QVariant(QDateTime(dateOf(value), timeOf(value), Qt::UTC));
        cell.display = editText(cell.value);
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
        cell.display = withPlaces(field.AsString(), placesOf(field));
        cell.value = QVariant(cell.display);
        return;
    case Kind::Text:
        // The cell keeps the whole text as its value; only what it shows is shortened.
        cell.value = QVariant(QString::fromStdString(field.AsString()));
        cell.display = cell.value.toString();
        if (cell.display.size() > kShownChars)
            cell.display = cell.display.left(kShownChars) + QChar(0x2026);
        return;
    }
}

QString editText(const QVariant& value) {
    switch (value.userType()) {
    case QMetaType::QDate:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QTime:
        return value.toTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    case QMetaType::QByteArray:
        return QStringLiteral("0x") + QString::fromLatin1(value.toByteArray().toHex());
    default:
        return value.toString();
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
    if (kind == Kind::Date || kind == Kind::Time || kind == Kind::DateTime) {
        // The forms the cells show are read whatever the locale's formats; anything else
        // goes to the field's own conversion (which raises for what it cannot read).
        QDate date;
        QTime time;
        if (parseDateTime(text, kind, date, time)) {
            field.SetAsDateTime(dateTimeOf(date, time));
            return;
        }
    }
    if (kind == Kind::Binary && text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const QByteArray bytes = QByteArray::fromHex(text.mid(2).toLatin1());
        field.SetAsString(std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        return;
    }
    field.SetAsString(text.toStdString());
}

} // namespace tovrin::qt
