// CS-Library declarations: return codes and the other constants the package and its
// users need, the message records, the capability mask with its helpers, one variable per
// CS-Library entry point and the loader that fills them when the module loads.
#pragma once

#include "tovrin5/client/Cstypes.h"

namespace tovrin {

// Return codes.
inline constexpr CS_RETCODE CS_SUCCEED = 1;
inline constexpr CS_RETCODE CS_FAIL = 0;
inline constexpr CS_RETCODE CS_MEM_ERROR = -1;
inline constexpr CS_RETCODE CS_PENDING = -2;
inline constexpr CS_RETCODE CS_QUIET = -3;
inline constexpr CS_RETCODE CS_BUSY = -4;
inline constexpr CS_RETCODE CS_INTERRUPT = -5;
inline constexpr CS_RETCODE CS_BLK_HAS_TEXT = -6;
inline constexpr CS_RETCODE CS_CONTINUE = -7;
inline constexpr CS_RETCODE CS_FATAL = -8;
inline constexpr CS_RETCODE CS_CANCELED = -202;
inline constexpr CS_RETCODE CS_ROW_FAIL = -203;
inline constexpr CS_RETCODE CS_END_DATA = -204;
inline constexpr CS_RETCODE CS_END_RESULTS = -205;
inline constexpr CS_RETCODE CS_END_ITEM = -206;
inline constexpr CS_RETCODE CS_NOMSG = -207;
inline constexpr CS_RETCODE CS_TIMED_OUT = -208;

// Library versions.
inline constexpr CS_INT CS_VERSION_100 = 112;
inline constexpr CS_INT CS_VERSION_110 = 112;

// Actions and special lengths.
inline constexpr CS_INT CS_GET = 33;
inline constexpr CS_INT CS_SET = 34;
inline constexpr CS_INT CS_CLEAR = 35;
inline constexpr CS_INT CS_INIT = 36;
inline constexpr CS_INT CS_STATUS = 37;
inline constexpr CS_INT CS_MSGLIMIT = 38;
inline constexpr CS_INT CS_SUPPORTED = 40;
inline constexpr CS_INT CS_NULLTERM = -9;
inline constexpr CS_INT CS_WILDCARD = -99;
inline constexpr CS_INT CS_NO_LIMIT = -9999;
inline constexpr CS_INT CS_UNUSED = -99999;
inline constexpr CS_INT CS_FORCE_EXIT = 300;
inline constexpr CS_INT CS_FORCE_CLOSE = 301;

// Context and connection properties.
inline constexpr CS_INT CS_USERNAME = 9100;
inline constexpr CS_INT CS_PASSWORD = 9101;
inline constexpr CS_INT CS_APPNAME = 9102;
inline constexpr CS_INT CS_HOSTNAME = 9103;
inline constexpr CS_INT CS_LOGIN_STATUS = 9104;
inline constexpr CS_INT CS_TDS_VERSION = 9105;
inline constexpr CS_INT CS_CHARSETCNV = 9106;
inline constexpr CS_INT CS_PACKETSIZE = 9107;
inline constexpr CS_INT CS_USERDATA = 9108;
inline constexpr CS_INT CS_NETIO = 9110;
inline constexpr CS_INT CS_TEXTLIMIT = 9112;
inline constexpr CS_INT CS_HIDDEN_KEYS = 9113;
inline constexpr CS_INT CS_VERSION = 9114;
inline constexpr CS_INT CS_IFILE = 9115;
inline constexpr CS_INT CS_LOGIN_TIMEOUT = 9116;
inline constexpr CS_INT CS_TIMEOUT = 9117;
inline constexpr CS_INT CS_MAX_CONNECT = 9118;
inline constexpr CS_INT CS_EXPOSE_FMTS = 9120;
inline constexpr CS_INT CS_EXTRA_INF = 9121;
inline constexpr CS_INT CS_ANSI_BINDS = 9123;
inline constexpr CS_INT CS_BULK_LOGIN = 9124;
inline constexpr CS_INT CS_LOC_PROP = 9125;
inline constexpr CS_INT CS_PARENT_HANDLE = 9130;
inline constexpr CS_INT CS_EED_CMD = 9131;
inline constexpr CS_INT CS_DIAG_TIMEOUT = 9132;
inline constexpr CS_INT CS_DISABLE_POLL = 9133;
inline constexpr CS_INT CS_CON_STATUS = 9143;
inline constexpr CS_INT CS_VER_STRING = 9144;
inline constexpr CS_INT CS_SERVERNAME = 9146;

// The locale item of cs_locale that names a character set.
inline constexpr CS_INT CS_SYB_CHARSET = 9;

// Connection status bits (CS_CON_STATUS).
inline constexpr CS_INT CS_CONSTAT_CONNECTED = 0x01;
inline constexpr CS_INT CS_CONSTAT_DEAD = 0x02;

// Message types of ct_diag.
inline constexpr CS_INT CS_CLIENTMSG_TYPE = 4700;
inline constexpr CS_INT CS_SERVERMSG_TYPE = 4701;
inline constexpr CS_INT CS_ALLMSG_TYPE = 4702;

// Callback types of ct_callback.
inline constexpr CS_INT CS_COMPLETION_CB = 1;
inline constexpr CS_INT CS_SERVERMSG_CB = 2;
inline constexpr CS_INT CS_CLIENTMSG_CB = 3;
inline constexpr CS_INT CS_NOTIF_CB = 4;

// Command types and options.
inline constexpr CS_INT CS_LANG_CMD = 148;
inline constexpr CS_INT CS_RPC_CMD = 149;
inline constexpr CS_INT CS_SEND_DATA_CMD = 151;
inline constexpr CS_INT CS_MORE = 16;
inline constexpr CS_INT CS_END = 32;
inline constexpr CS_INT CS_RECOMPILE = 188;
inline constexpr CS_INT CS_NO_RECOMPILE = 189;

// Cancel types.
inline constexpr CS_INT CS_CANCEL_CURRENT = 6000;
inline constexpr CS_INT CS_CANCEL_ALL = 6001;
inline constexpr CS_INT CS_CANCEL_ATTN = 6002;

// Result types of ct_results.
inline constexpr CS_INT CS_ROW_RESULT = 4040;
inline constexpr CS_INT CS_CURSOR_RESULT = 4041;
inline constexpr CS_INT CS_PARAM_RESULT = 4042;
inline constexpr CS_INT CS_STATUS_RESULT = 4043;
inline constexpr CS_INT CS_MSG_RESULT = 4044;
inline constexpr CS_INT CS_COMPUTE_RESULT = 4045;
inline constexpr CS_INT CS_CMD_DONE = 4046;
inline constexpr CS_INT CS_CMD_SUCCEED = 4047;
inline constexpr CS_INT CS_CMD_FAIL = 4048;
inline constexpr CS_INT CS_ROWFMT_RESULT = 4049;
inline constexpr CS_INT CS_COMPUTEFMT_RESULT = 4050;
inline constexpr CS_INT CS_DESCRIBE_RESULT = 4051;

// Items of ct_res_info.
inline constexpr CS_INT CS_ROW_COUNT = 800;
inline constexpr CS_INT CS_CMD_NUMBER = 801;
inline constexpr CS_INT CS_NUM_COMPUTES = 802;
inline constexpr CS_INT CS_NUMDATA = 803;
inline constexpr CS_INT CS_NUMORDERCOLS = 805;
inline constexpr CS_INT CS_MSGTYPE = 806;
inline constexpr CS_INT CS_BROWSE_INFO = 807;
inline constexpr CS_INT CS_TRANS_STATE = 808;

// Datatypes of CS_DATAFMT.datatype.
inline constexpr CS_INT CS_ILLEGAL_TYPE = -1;
inline constexpr CS_INT CS_CHAR_TYPE = 0;
inline constexpr CS_INT CS_BINARY_TYPE = 1;
inline constexpr CS_INT CS_LONGCHAR_TYPE = 2;
inline constexpr CS_INT CS_LONGBINARY_TYPE = 3;
inline constexpr CS_INT CS_TEXT_TYPE = 4;
inline constexpr CS_INT CS_IMAGE_TYPE = 5;
inline constexpr CS_INT CS_TINYINT_TYPE = 6;
inline constexpr CS_INT CS_SMALLINT_TYPE = 7;
inline constexpr CS_INT CS_INT_TYPE = 8;
inline constexpr CS_INT CS_REAL_TYPE = 9;
inline constexpr CS_INT CS_FLOAT_TYPE = 10;
inline constexpr CS_INT CS_BIT_TYPE = 11;
inline constexpr CS_INT CS_DATETIME_TYPE = 12;
inline constexpr CS_INT CS_DATETIME4_TYPE = 13;
inline constexpr CS_INT CS_MONEY_TYPE = 14;
inline constexpr CS_INT CS_MONEY4_TYPE = 15;
inline constexpr CS_INT CS_NUMERIC_TYPE = 16;
inline constexpr CS_INT CS_DECIMAL_TYPE = 17;
inline constexpr CS_INT CS_VARCHAR_TYPE = 18;
inline constexpr CS_INT CS_VARBINARY_TYPE = 19;
inline constexpr CS_INT CS_LONG_TYPE = 20;
inline constexpr CS_INT CS_SENSITIVITY_TYPE = 21;
inline constexpr CS_INT CS_BOUNDARY_TYPE = 22;
inline constexpr CS_INT CS_VOID_TYPE = 23;
inline constexpr CS_INT CS_USHORT_TYPE = 24;
inline constexpr CS_INT CS_UNICHAR_TYPE = 25;
inline constexpr CS_INT CS_BLOB_TYPE = 26;
inline constexpr CS_INT CS_DATE_TYPE = 27;
inline constexpr CS_INT CS_TIME_TYPE = 28;
inline constexpr CS_INT CS_UNITEXT_TYPE = 29;
inline constexpr CS_INT CS_BIGINT_TYPE = 30;
inline constexpr CS_INT CS_USMALLINT_TYPE = 31;
inline constexpr CS_INT CS_UINT_TYPE = 32;
inline constexpr CS_INT CS_UBIGINT_TYPE = 33;
inline constexpr CS_INT CS_XML_TYPE = 34;
inline constexpr CS_INT CS_USER_TYPE = 100;

// Bind formats (CS_DATAFMT.format).
inline constexpr CS_INT CS_FMT_UNUSED = 0;
inline constexpr CS_INT CS_FMT_NULLTERM = 1;
inline constexpr CS_INT CS_FMT_PADNULL = 2;
inline constexpr CS_INT CS_FMT_PADBLANK = 4;
inline constexpr CS_INT CS_FMT_JUSTIFY_RT = 8;

// Column status bits (CS_DATAFMT.status).
inline constexpr CS_INT CS_HIDDEN = 1 << 0;
inline constexpr CS_INT CS_KEY = 1 << 1;
inline constexpr CS_INT CS_VERSION_KEY = 1 << 2;
inline constexpr CS_INT CS_NODATA = 1 << 3;
inline constexpr CS_INT CS_UPDATABLE = 1 << 4;
inline constexpr CS_INT CS_CANBENULL = 1 << 5;
inline constexpr CS_INT CS_DESCIN = 1 << 6;
inline constexpr CS_INT CS_DESCOUT = 1 << 7;
inline constexpr CS_INT CS_INPUTVALUE = 1 << 8;
inline constexpr CS_INT CS_UPDATECOL = 1 << 9;
inline constexpr CS_INT CS_RETURN = 1 << 10;
inline constexpr CS_INT CS_TIMESTAMP = 1 << 13;
inline constexpr CS_INT CS_NODEFAULT = 1 << 14;
inline constexpr CS_INT CS_IDENTITY = 1 << 15;

// Indicator values of a bound column.
inline constexpr CS_SMALLINT CS_GOODDATA = 0;
inline constexpr CS_SMALLINT CS_NULLDATA = -1;

// Client message severities.
inline constexpr CS_INT CS_SV_INFORM = 0;
inline constexpr CS_INT CS_SV_API_FAIL = 1;
inline constexpr CS_INT CS_SV_RETRY_FAIL = 2;
inline constexpr CS_INT CS_SV_RESOURCE_FAIL = 3;
inline constexpr CS_INT CS_SV_CONFIG_FAIL = 4;
inline constexpr CS_INT CS_SV_COMM_FAIL = 5;
inline constexpr CS_INT CS_SV_INTERNAL_FAIL = 6;
inline constexpr CS_INT CS_SV_FATAL = 7;

// Options of ct_options and the date orders of CS_OPT_DATEFORMAT.
inline constexpr CS_INT CS_OPT_DATEFIRST = 5001;
inline constexpr CS_INT CS_OPT_TEXTSIZE = 5002;
inline constexpr CS_INT CS_OPT_ROWCOUNT = 5005;
inline constexpr CS_INT CS_OPT_DATEFORMAT = 5007;
inline constexpr CS_INT CS_OPT_ISOLATION = 5008;
inline constexpr CS_INT CS_OPT_NOCOUNT = 5021;
inline constexpr CS_INT CS_OPT_CHAINXACTS = 5025;
inline constexpr CS_INT CS_OPT_QUOTED_IDENT = 5035;
inline constexpr CS_INT CS_OPT_FMTMDY = 1;
inline constexpr CS_INT CS_OPT_FMTDMY = 2;
inline constexpr CS_INT CS_OPT_FMTYMD = 3;
inline constexpr CS_INT CS_OPT_FMTYDM = 4;
inline constexpr CS_INT CS_OPT_FMTMYD = 5;
inline constexpr CS_INT CS_OPT_FMTDYM = 6;

// Capability kinds of ct_capability.
inline constexpr CS_INT CS_CAP_REQUEST = 1;
inline constexpr CS_INT CS_CAP_RESPONSE = 2;

/// A message from the server (CS_SERVERMSG).
struct _cs_servermsg {
    CS_MSGNUM msgnumber;
    CS_INT state;
    CS_INT severity;
    CS_CHAR text[CS_MAX_MSG];
    CS_INT textlen;
    CS_CHAR svrname[CS_MAX_NAME];
    CS_INT svrnlen;
    CS_CHAR proc[CS_MAX_NAME];
    CS_INT proclen;
    CS_INT line;
    CS_INT status;
    CS_BYTE sqlstate[CS_SQLSTATE_SIZE];
    CS_INT sqlstatelen;
};
using CS_SERVERMSG = _cs_servermsg;

/// A message from the client library itself (CS_CLIENTMSG).
struct _cs_clientmsg {
    CS_INT severity;
    CS_MSGNUM msgnumber;
    CS_CHAR msgstring[CS_MAX_MSG];
    CS_INT msgstringlen;
    CS_INT osnumber;
    CS_CHAR osstring[CS_MAX_MSG];
    CS_INT osstringlen;
    CS_INT status;
    CS_BYTE sqlstate[CS_SQLSTATE_SIZE];
    CS_INT sqlstatelen;
};
using CS_CLIENTMSG = _cs_clientmsg;

inline constexpr CS_INT CS_CAP_ARRAYLEN = 16;

/// A capability mask: 128 bits, bit 0 in the last byte.
struct _cs_cap_type {
    CS_BYTE mask[CS_CAP_ARRAYLEN];
};
using CS_CAP_TYPE = _cs_cap_type;

/// Index of the mask byte that holds capability bit b (0..127): 15 - b div 8.
[[nodiscard]] constexpr CS_INT CS_CAP_IDX(CS_INT b) noexcept {
    return (CS_CAP_ARRAYLEN - 1) - b / 8;
}
/// Sets capability bit b of the mask.
constexpr void CS_SET_CAPMASK(CS_CAP_TYPE& mask, CS_INT b) noexcept {
    mask.mask[CS_CAP_IDX(b)] = static_cast<CS_BYTE>(mask.mask[CS_CAP_IDX(b)] | (1u << (b % 8)));
}
/// Clears capability bit b of the mask.
constexpr void CS_CLR_CAPMASK(CS_CAP_TYPE& mask, CS_INT b) noexcept {
    mask.mask[CS_CAP_IDX(b)] = static_cast<CS_BYTE>(mask.mask[CS_CAP_IDX(b)] & ~(1u << (b % 8)));
}
/// Non-zero when capability bit b of the mask is set.
[[nodiscard]] constexpr CS_INT CS_TST_CAPMASK(const CS_CAP_TYPE& mask, CS_INT b) noexcept {
    return static_cast<CS_INT>(mask.mask[CS_CAP_IDX(b)] & (1u << (b % 8)));
}

using CS_CONV_FUNC = CS_RETCODE(CS_PUBLIC*)(CS_CONTEXT* context, CS_DATAFMT* srcfmt, CS_VOID* src,
                                            CS_DATAFMT* destfmt, CS_VOID* dest, CS_INT* destlen);
using CS_CLIENTMSG_FUNC = CS_RETCODE(CS_PUBLIC*)(CS_CONTEXT* context, CS_CONNECTION* connection,
                                                 CS_CLIENTMSG* message);
using CS_SERVERMSG_FUNC = CS_RETCODE(CS_PUBLIC*)(CS_CONTEXT* context, CS_CONNECTION* connection,
                                                 CS_SERVERMSG* message);

struct _cs_objname {
    CS_BOOL thinkexists;
    CS_INT object_type;
    CS_CHAR last_name[CS_MAX_NAME];
    CS_INT lnlen;
    CS_CHAR first_name[CS_MAX_NAME];
    CS_INT fnlen;
    CS_VOID* scope;
    CS_INT scopelen;
    CS_VOID* thread;
    CS_INT threadlen;
};
using CS_OBJNAME = _cs_objname;

struct _cs_objdata {
    CS_BOOL actuallyexists;
    CS_CONNECTION* connection;
    CS_COMMAND* command;
    CS_VOID* buffer;
    CS_INT buflen;
};
using CS_OBJDATA = _cs_objdata;

/// True once the CS-Library is loaded; False while it is missing.
extern bool csDLLLoaded;

// CS-Library entry points: null until the library is loaded. The package calls
// cs_ctx_alloc and cs_ctx_drop; the loader requires those and binds the
// others when the library has them.
extern CS_RETCODE(CS_PUBLIC* cs_calc)(CS_CONTEXT* context, CS_INT op, CS_INT datatype,
                                      CS_VOID* var1, CS_VOID* var2, CS_VOID* dest);
extern CS_RETCODE(CS_PUBLIC* cs_cmp)(CS_CONTEXT* context, CS_INT datatype, CS_VOID* var1,
                                     CS_VOID* var2, CS_INT* result);
extern CS_RETCODE(CS_PUBLIC* cs_convert)(CS_CONTEXT* context, CS_DATAFMT* srcfmt, CS_VOID* srcdata,
                                         CS_DATAFMT* destfmt, CS_VOID* destdata, CS_INT* resultlen);
extern CS_RETCODE(CS_PUBLIC* cs_will_convert)(CS_CONTEXT* context, CS_INT srctype, CS_INT desttype,
                                              CS_BOOL* result);
extern CS_RETCODE(CS_PUBLIC* cs_set_convert)(CS_CONTEXT* context, CS_INT action, CS_INT srctype,
                                             CS_INT desttype, CS_CONV_FUNC* func);
extern CS_RETCODE(CS_PUBLIC* cs_setnull)(CS_CONTEXT* context, CS_DATAFMT* datafmt, CS_VOID* buffer,
                                         CS_INT buflen);
extern CS_RETCODE(CS_PUBLIC* cs_config)(CS_CONTEXT* context, CS_INT action, CS_INT property,
                                        CS_VOID* buffer, CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* cs_ctx_alloc)(CS_INT version, CS_CONTEXT** context);
extern CS_RETCODE(CS_PUBLIC* cs_ctx_drop)(CS_CONTEXT* context);
extern CS_RETCODE(CS_PUBLIC* cs_ctx_global)(CS_INT version, CS_CONTEXT** context);
extern CS_RETCODE(CS_PUBLIC* cs_objects)(CS_CONTEXT* context, CS_INT action, CS_OBJNAME* objname,
                                         CS_OBJDATA* objdata);
extern CS_RETCODE(CS_PUBLIC* cs_diag)(CS_CONTEXT* context, CS_INT operation, CS_INT type,
                                      CS_INT index, CS_VOID* buffer);
extern CS_RETCODE(CS_PUBLIC* cs_dt_crack)(CS_CONTEXT* context, CS_INT datetype, CS_VOID* dateval,
                                          CS_DATEREC* daterec);
extern CS_RETCODE(CS_PUBLIC* cs_dt_info)(CS_CONTEXT* context, CS_INT action, CS_LOCALE* locale,
                                         CS_INT type, CS_INT item, CS_VOID* buffer, CS_INT buflen,
                                         CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* cs_locale)(CS_CONTEXT* context, CS_INT action, CS_LOCALE* locale,
                                        CS_INT type, CS_VOID* buffer, CS_INT buflen,
                                        CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* cs_loc_alloc)(CS_CONTEXT* context, CS_LOCALE** locale);
extern CS_RETCODE(CS_PUBLIC* cs_loc_drop)(CS_CONTEXT* context, CS_LOCALE* locale);
extern CS_RETCODE(CS_PUBLIC* cs_strbuild)(CS_CONTEXT* context, CS_CHAR* buffer, CS_INT buflen,
                                          CS_INT* resultlen, CS_CHAR* text, CS_INT textlen,
                                          CS_CHAR* formats, CS_INT formatlen, ...);
extern CS_RETCODE(CS_PUBLIC* cs_strcmp)(CS_CONTEXT* context, CS_LOCALE* locale, CS_INT type,
                                        CS_CHAR* str1, CS_INT len1, CS_CHAR* str2, CS_INT len2,
                                        CS_INT* result);
extern CS_RETCODE(CS_PUBLIC* cs_time)(CS_CONTEXT* context, CS_LOCALE* locale, CS_VOID* buffer,
                                      CS_INT buflen, CS_INT* outlen, CS_DATEREC* daterec);
extern CS_RETCODE(CS_PUBLIC* cs_manage_convert)(CS_CONTEXT* context, CS_INT action, CS_INT srctype,
                                                CS_CHAR* srcname, CS_INT srcnamelen,
                                                CS_INT desttype, CS_CHAR* destname,
                                                CS_INT destnamelen, CS_INT* conv_multiplier,
                                                CS_CONV_FUNC* func);
extern CS_RETCODE(CS_PUBLIC* cs_conv_mult)(CS_CONTEXT* context, CS_LOCALE* srcloc,
                                           CS_LOCALE* destloc, CS_INT* conv_multiplier);

namespace detail {
/// Loads the CS-Library under its platform name unless it is loaded already. Run once by
/// the module initialisation; a missing library is silent (flag False, variables null).
/// A library that lacks an entry point the package calls fails the assertion
/// "Assertion failure (cspublic, line <n>)".
void initializeCspublic();
} // namespace detail

} // namespace tovrin
