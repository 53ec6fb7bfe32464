// Basic types of the CS-Library and Client-Library, the column format record and the
// other value records, CS_TRUE/CS_FALSE and the helpers that take message numbers apart.
// The layouts follow the library's ABI on this platform; a test compares them with the
// library's own headers whenever those are installed.
#pragma once

#include <cstdint>

#include "tovrin5/client/Csconfig.h"

namespace tovrin {

using CS_INT = std::int32_t;
using CS_UINT = std::uint32_t;
using CS_BIGINT = std::int64_t;
using CS_UBIGINT = std::uint64_t;
using CS_SMALLINT = std::int16_t;
using CS_USMALLINT = std::uint16_t;
using CS_USHORT = std::uint16_t;
using CS_TINYINT = unsigned char;
using CS_CHAR = char;
using CS_BYTE = unsigned char;
using CS_BIT = unsigned char;
using CS_REAL = float;
using CS_FLOAT = double;
using CS_BOOL = std::int32_t;
using CS_VOID = void;
using CS_IMAGE = unsigned char;
using CS_TEXT = unsigned char;
using CS_BINARY = unsigned char;
using CS_LONGBINARY = unsigned char;
using CS_LONGCHAR = unsigned char;
using CS_LONG = long;
using CS_RETCODE = CS_INT;
using CS_MSGNUM = CS_INT;
using CS_DATE = CS_INT;
using CS_TIME = CS_INT;

/// Boolean values where the library wants a CS_BOOL.
inline constexpr CS_INT CS_TRUE = 1;
inline constexpr CS_INT CS_FALSE = 0;

inline constexpr CS_INT CS_MAX_NAME = 132;
inline constexpr CS_INT CS_MAX_SCALE = 77;
inline constexpr CS_INT CS_MAX_PREC = 77;
inline constexpr CS_INT CS_MAX_NUMLEN = 33;
inline constexpr CS_INT CS_MAX_MSG = 1024;
inline constexpr CS_INT CS_SQLSTATE_SIZE = 8;
inline constexpr CS_INT CS_OBJ_NAME = 400;
inline constexpr CS_INT CS_TP_SIZE = 16;
inline constexpr CS_INT CS_TS_SIZE = 8;

// Opaque handles; only the library knows their contents.
struct _cs_context;
struct _cs_connection;
struct _cs_command;
struct _cs_locale;
struct _cs_config;
struct _cs_blkdesc;
struct _cs_loginfo;
struct _cs_ds_object;
struct _cs_ds_lookup_info;
using CS_CONTEXT = _cs_context;
using CS_CONNECTION = _cs_connection;
using CS_COMMAND = _cs_command;
using CS_LOCALE = _cs_locale;
using CS_CONFIG = _cs_config;
using CS_BLKDESC = _cs_blkdesc;
using CS_LOGINFO = _cs_loginfo;
using CS_DS_OBJECT = _cs_ds_object;
using CS_DS_LOOKUP_INFO = _cs_ds_lookup_info;

/// Describes a column, parameter or bind buffer (CS_DATAFMT).
struct _cs_datafmt {
    CS_CHAR name[CS_MAX_NAME];
    CS_INT namelen;
    CS_INT datatype;
    CS_INT format;
    CS_INT maxlength;
    CS_INT scale;
    CS_INT precision;
    CS_INT status;
    CS_INT count;
    CS_INT usertype;
    CS_LOCALE* locale;
};
using CS_DATAFMT = _cs_datafmt;

/// Exact numeric value (CS_NUMERIC, CS_DECIMAL).
struct _cs_numeric {
    CS_BYTE precision;
    CS_BYTE scale;
    CS_BYTE array[CS_MAX_NUMLEN];
};
using CS_NUMERIC = _cs_numeric;
using CS_DECIMAL = _cs_numeric;

struct _cs_varchar {
    CS_SMALLINT len;
    CS_CHAR str[256];
};
using CS_VARCHAR = _cs_varchar;

struct _cs_varbinary {
    CS_SMALLINT len;
    CS_BYTE array[256];
};
using CS_VARBINARY = _cs_varbinary;

struct _cs_money {
    CS_INT mnyhigh;
    CS_UINT mnylow;
};
using CS_MONEY = _cs_money;

struct _cs_money4 {
    CS_INT mny4;
};
using CS_MONEY4 = _cs_money4;

struct _cs_datetime {
    CS_INT dtdays;
    CS_INT dttime;
};
using CS_DATETIME = _cs_datetime;

struct _cs_datetime4 {
    CS_USHORT days;
    CS_USHORT minutes;
};
using CS_DATETIME4 = _cs_datetime4;

/// Date parts filled by cs_dt_crack (datemonth counts from 0).
struct _cs_daterec {
    CS_INT dateyear;
    CS_INT datemonth;
    CS_INT datedmonth;
    CS_INT datedyear;
    CS_INT datedweek;
    CS_INT datehour;
    CS_INT dateminute;
    CS_INT datesecond;
    CS_INT datemsecond;
    CS_INT datetzone;
    CS_INT datesecfrac;
    CS_INT datesecprec;
};
using CS_DATEREC = _cs_daterec;

/// Text and image column descriptor used by ct_data_info.
struct _cs_iodesc {
    CS_INT iotype;
    CS_INT datatype;
    CS_LOCALE* locale;
    CS_INT usertype;
    CS_INT total_txtlen;
    CS_INT offset;
    CS_BOOL log_on_update;
    CS_CHAR name[CS_OBJ_NAME];
    CS_INT namelen;
    CS_BYTE timestamp[CS_TS_SIZE];
    CS_INT timestamplen;
    CS_BYTE textptr[CS_TP_SIZE];
    CS_INT textptrlen;
};
using CS_IODESC = _cs_iodesc;

/// Browse-mode column information used by ct_br_column.
struct _cs_browsedesc {
    CS_INT status;
    CS_BOOL isbrowse;
    CS_CHAR origname[CS_MAX_NAME];
    CS_INT orignlen;
    CS_INT tablenum;
    CS_CHAR tablename[CS_OBJ_NAME];
    CS_INT tabnlen;
};
using CS_BROWSEDESC = _cs_browsedesc;

/// The layer of a client-library message number: bits 24..31.
[[nodiscard]] constexpr CS_INT CS_LAYER(CS_INT n) noexcept {
    return static_cast<CS_INT>((static_cast<CS_UINT>(n) >> 24) & 0xFFu);
}
/// The origin of a client-library message number: bits 16..23.
[[nodiscard]] constexpr CS_INT CS_ORIGIN(CS_INT n) noexcept {
    return static_cast<CS_INT>((static_cast<CS_UINT>(n) >> 16) & 0xFFu);
}
/// The severity of a client-library message number: bits 8..15.
[[nodiscard]] constexpr CS_INT CS_SEVERITY(CS_INT n) noexcept {
    return static_cast<CS_INT>((static_cast<CS_UINT>(n) >> 8) & 0xFFu);
}
/// The number proper of a client-library message number: bits 0..7.
[[nodiscard]] constexpr CS_INT CS_NUMBER(CS_INT n) noexcept {
    return static_cast<CS_INT>(static_cast<CS_UINT>(n) & 0xFFu);
}
/// Kept for source compatibility with the library's macro of that name: always 0.
[[nodiscard]] constexpr CS_INT CS_SIZEOF(const volatile void* /*anything*/) noexcept {
    return 0;
}

} // namespace tovrin
