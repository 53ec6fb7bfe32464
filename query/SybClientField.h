// TSybClientField: the column descriptor of one column of a result (a row result or the
// output parameters of a procedure), built from the format record that ct_describe
// returns. It owns the buffer the column's value of the current row arrives in, says which
// host field type the column becomes and how large its record slot is, and converts the
// current value into the record format or a Variant.
//
// Text and image columns are never bound: a server declares them with a maximum length of
// 2,147,483,647 bytes, so no bind buffer can be sized from the format. Their value is read
// whole after each fetch with ct_get_data into a buffer that grows to the value's length.
#pragma once

#include <string>
#include <vector>

#include "tovrin5/client/Cspublic.h"
#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/FieldsBcd.h"
#include "tovrin5/host/Variant.h"

namespace tovrin {

class TSybQuery;

class TSybClientField final : public TBTFetchField {
public:
    /// A descriptor of column AColumnNo (1-based) with the format ADataFmt. Given a query,
    /// it joins the query's fetch-field list, which owns it; given nullptr it belongs to
    /// its creator (output parameters).
    TSybClientField(TSybQuery* AQuery, CS_INT AColumnNo, const CS_DATAFMT& ADataFmt);
    ~TSybClientField() override;
    TSybClientField(const TSybClientField&) = delete;
    TSybClientField& operator=(const TSybClientField&) = delete;
    [[nodiscard]] std::string ClassName() const override { return "TSybClientField"; }

    /// The host field type of the column's Client-Library datatype. Raises host::Exception
    /// "Unknown data type <code> receiver from SQL Server" for a datatype without one.
    /// Money, smallmoney, numeric and decimal become ftBCD (exact); character and binary
    /// columns longer than 65,535 bytes become ftMemo and ftBlob. After KeepUnmappedAsText
    /// a type without a mapping is ftString (read as text), or ftBlob when the library
    /// could not convert it to text.
    [[nodiscard]] host::TFieldType GetOstrelDataType() override;
    /// The value bytes of the column's record slot (GetFieldSize of the type and size).
    [[nodiscard]] int GetOstrelLength() override;
    /// The column name; "COLUMN<n>" when the name is empty or blank.
    [[nodiscard]] std::string GetName() override;

    /// The size a field definition of the column takes: the maximum length in bytes for
    /// strings and binary columns, 0 for other types.
    [[nodiscard]] int FieldSize();
    /// Digits after the point of a money or numeric column (money 4), 0 for other types.
    [[nodiscard]] int Scale() const noexcept;
    /// Total digits of a money or numeric column (money 19, smallmoney 10), 0 for others.
    [[nodiscard]] int Precision() const noexcept;

    /// Makes a descriptor of a type without a mapping read its value as text (or as bytes
    /// when the library cannot convert it to text) instead of refusing it: output
    /// parameters are fetched whatever their type. Call before Bind.
    void KeepUnmappedAsText();

    /// Binds the column's buffer for ct_fetch (text and image columns are not bound).
    /// Returns ct_bind's result (CS_SUCCEED for a column that is not bound).
    [[nodiscard]] CS_RETCODE Bind(CS_COMMAND* Command);
    /// After a successful ct_fetch: reads the value of a column that is not bound, whole,
    /// with ct_get_data (nothing for a bound column). False when the library failed.
    [[nodiscard]] bool ReadUnbound(CS_COMMAND* Command);
    /// True for columns read with ct_get_data instead of being bound.
    [[nodiscard]] bool ReadsWhole() const noexcept { return FReadsWhole; }

    /// Whether the current value is NULL.
    [[nodiscard]] bool IsNull() const noexcept { return FIndicator == CS_NULLDATA; }
    /// The bytes of the current value (as the library delivered them).
    [[nodiscard]] const char* Data() const noexcept { return FData; }
    /// Number of bytes of the current value.
    [[nodiscard]] CS_INT Copied() const noexcept { return FCopied; }
    [[nodiscard]] CS_SMALLINT Indicator() const noexcept { return FIndicator; }
    [[nodiscard]] CS_INT ColumnNo() const noexcept { return FColumnNo; }
    [[nodiscard]] CS_INT DataType() const noexcept { return FDataType; }
    /// Whether the record slot holds a money value as its 64-bit count of 1/10,000 units.
    [[nodiscard]] bool KeepsMoneyUnits() const noexcept {
        return !FUnmapped && (FDataType == CS_MONEY_TYPE || FDataType == CS_MONEY4_TYPE);
    }
    /// The column's maximum length from the format record.
    [[nodiscard]] CS_INT BufferLength() const noexcept { return FBufferLength; }
    [[nodiscard]] const CS_DATAFMT& DataFmt() const noexcept { return FDataFmt; }

    /// Writes the current, non-NULL value into the value area of a record slot in the
    /// record format of GetOstrelDataType (the area is zero-filled and GetOstrelLength
    /// bytes long). Text and image values go into a new TBTBlob whose address is stored.
    /// Context is the connection's CS-Library context, needed for dates (raises
    /// "Connection not defined" when null and the value is a date). Raises
    /// ESybQueryError "Precision <p> not supported for numeric types" for a numeric
    /// value whose precision is outside 1..38, and "cs_dt_crack failed." when the library
    /// cannot split a date. Money and numeric values are stored as an exact TBcd; a real
    /// as the double of its shortest text.
    void StoreValue(char* ValueArea, CS_CONTEXT* Context);
    /// The current value as a Variant of the host field type (Null for NULL); text and
    /// image as a string of bytes, binary columns as a byte array, money and numeric as
    /// their exact decimal text.
    [[nodiscard]] host::Variant Value(CS_CONTEXT* Context);
    /// Converts the current value with Value and keeps the result, for reading after the
    /// command (and the connection) are gone: output parameters.
    void KeepValue(CS_CONTEXT* Context) { FKept = Value(Context); }
    /// The value kept by KeepValue (Null before).
    [[nodiscard]] const host::Variant& KeptValue() const noexcept { return FKept; }

private:
    /// Stores the current value in a new TBTBlob and its address in the value area.
    void storeBlob(char* ValueArea) const;

    CS_INT FColumnNo;
    CS_DATAFMT FDataFmt;
    CS_INT FBufferLength;
    CS_INT FDataType;
    bool FReadsWhole;
    bool FUnmapped;                 // a type without a mapping, read as text or bytes
    CS_INT FBoundAs = CS_CHAR_TYPE; // how an unmapped value was bound: text or bytes
    std::vector<char> FBuffer;      // the bind buffer (maximum length + 1), or the whole value
    char* FData = nullptr;
    CS_INT FCopied = 0;
    CS_SMALLINT FIndicator = CS_NULLDATA;
    host::Variant FKept = host::Null();
};

namespace clientvalue {

/// Number of magnitude bytes of a CS_NUMERIC of precision 1..38 (the library's table);
/// 0 for any other precision.
[[nodiscard]] int NumericMagnitudeBytes(int Precision) noexcept;
/// The nearest double of a CS_NUMERIC value (precision, scale, sign, big-endian
/// magnitude). Raises ESybQueryError for a precision outside 1..38.
[[nodiscard]] double NumericToDouble(const unsigned char* Numeric);
/// The exact value of a CS_NUMERIC (precision, scale, sign, big-endian magnitude).
/// Raises ESybQueryError for a precision outside 1..38.
[[nodiscard]] host::TBcd NumericToBCD(const unsigned char* Numeric);
/// The double of the shortest decimal text that reads back as the same float.
[[nodiscard]] double RealToDouble(float Value) noexcept;
/// The nearest double of a money amount in units of 1/10000.
[[nodiscard]] double MoneyToDouble(int64_t Units) noexcept;
/// The host's time-stamp milliseconds of a date and time (month 1..12).
[[nodiscard]] double DateTimeMSecs(int Year, int Month, int Day, int Hour, int Minute, int Second,
                                   int MSecond);

/// The host's time-stamp milliseconds of a CS_DATETIME or CS_DATETIME4 value, split as
/// cs_dt_crack splits it. Raises "Connection not defined" without a context and
/// "cs_dt_crack failed." for a value outside the server's range.
[[nodiscard]] double ServerDateTimeMSecs(CS_CONTEXT* Context, CS_INT DataType, const void* Value);

} // namespace clientvalue
} // namespace tovrin
