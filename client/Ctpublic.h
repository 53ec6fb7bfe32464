// Client-Library declarations: one variable per Client-Library entry point, declared with
// the library's published signature, the loaded flag, and the loader that fills them when
// the module loads.
#pragma once

#include "tovrin5/client/Cspublic.h"

namespace tovrin {

/// True once the Client-Library is loaded; False while it is missing.
extern bool ctDLLLoaded;

// Client-Library entry points: null until the library is loaded. Those the package calls
// (ct_bind, ct_cancel, ct_close, ct_cmd_alloc, ct_cmd_drop, ct_command, ct_con_alloc,
// ct_con_drop, ct_con_props, ct_connect, ct_config, ct_data_info, ct_describe, ct_diag,
// ct_exit, ct_fetch, ct_get_data, ct_init, ct_options, ct_res_info, ct_results, ct_send)
// are always bound when
// the library is loaded; the others stay null when the library lacks them (FreeTDS has
// no ct_debug, ct_br_column, ct_br_table, ct_dyndesc, ct_getformat, ct_keydata,
// ct_getloginfo, ct_setloginfo, ct_recvpassthru, ct_sendpassthru, ct_remote_pwd,
// ct_wakeup, ct_labels, ct_ds_lookup, ct_ds_dropobj, ct_ds_objinfo): test before calling.

extern CS_RETCODE(CS_PUBLIC* ct_debug)(CS_CONTEXT* context, CS_CONNECTION* connection,
                                       CS_INT operation, CS_INT flag, CS_CHAR* filename,
                                       CS_INT fnamelen);
extern CS_RETCODE(CS_PUBLIC* ct_bind)(CS_COMMAND* cmd, CS_INT item, CS_DATAFMT* datafmt,
                                      CS_VOID* buffer, CS_INT* copied, CS_SMALLINT* indicator);
extern CS_RETCODE(CS_PUBLIC* ct_br_column)(CS_COMMAND* cmd, CS_INT colnum,
                                           CS_BROWSEDESC* browsedesc);
extern CS_RETCODE(CS_PUBLIC* ct_br_table)(CS_COMMAND* cmd, CS_INT tabnum, CS_INT type,
                                          CS_VOID* buffer, CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_callback)(CS_CONTEXT* context, CS_CONNECTION* connection,
                                          CS_INT action, CS_INT type, CS_VOID* func);
extern CS_RETCODE(CS_PUBLIC* ct_cancel)(CS_CONNECTION* connection, CS_COMMAND* cmd, CS_INT type);
extern CS_RETCODE(CS_PUBLIC* ct_capability)(CS_CONNECTION* connection, CS_INT action, CS_INT type,
                                            CS_INT capability, CS_VOID* value);
extern CS_RETCODE(CS_PUBLIC* ct_compute_info)(CS_COMMAND* cmd, CS_INT type, CS_INT colnum,
                                              CS_VOID* buffer, CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_close)(CS_CONNECTION* connection, CS_INT option);
extern CS_RETCODE(CS_PUBLIC* ct_cmd_alloc)(CS_CONNECTION* connection, CS_COMMAND** cmdptr);
extern CS_RETCODE(CS_PUBLIC* ct_cmd_drop)(CS_COMMAND* cmd);
extern CS_RETCODE(CS_PUBLIC* ct_cmd_props)(CS_COMMAND* cmd, CS_INT action, CS_INT property,
                                           CS_VOID* buffer, CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_command)(CS_COMMAND* cmd, CS_INT type, CS_VOID* buffer,
                                         CS_INT buflen, CS_INT option);
extern CS_RETCODE(CS_PUBLIC* ct_con_alloc)(CS_CONTEXT* context, CS_CONNECTION** connection);
extern CS_RETCODE(CS_PUBLIC* ct_con_drop)(CS_CONNECTION* connection);
extern CS_RETCODE(CS_PUBLIC* ct_con_props)(CS_CONNECTION* connection, CS_INT action,
                                           CS_INT property, CS_VOID* buffer, CS_INT buflen,
                                           CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_connect)(CS_CONNECTION* connection, CS_CHAR* server_name,
                                         CS_INT snamelen);
extern CS_RETCODE(CS_PUBLIC* ct_config)(CS_CONTEXT* context, CS_INT action, CS_INT property,
                                        CS_VOID* buffer, CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_cursor)(CS_COMMAND* cmd, CS_INT type, CS_CHAR* name, CS_INT namelen,
                                        CS_CHAR* text, CS_INT tlen, CS_INT option);
extern CS_RETCODE(CS_PUBLIC* ct_dyndesc)(CS_COMMAND* cmd, CS_CHAR* descriptor, CS_INT desclen,
                                         CS_INT operation, CS_INT index, CS_DATAFMT* datafmt,
                                         CS_VOID* buffer, CS_INT buflen, CS_INT* copied,
                                         CS_SMALLINT* indicator);
extern CS_RETCODE(CS_PUBLIC* ct_describe)(CS_COMMAND* cmd, CS_INT item, CS_DATAFMT* datafmt);
extern CS_RETCODE(CS_PUBLIC* ct_diag)(CS_CONNECTION* connection, CS_INT operation, CS_INT type,
                                      CS_INT index, CS_VOID* buffer);
extern CS_RETCODE(CS_PUBLIC* ct_dynamic)(CS_COMMAND* cmd, CS_INT type, CS_CHAR* id, CS_INT idlen,
                                         CS_CHAR* buffer, CS_INT buflen);
extern CS_RETCODE(CS_PUBLIC* ct_exit)(CS_CONTEXT* context, CS_INT option);
extern CS_RETCODE(CS_PUBLIC* ct_fetch)(CS_COMMAND* cmd, CS_INT type, CS_INT offset, CS_INT option,
                                       CS_INT* rows_read);
extern CS_RETCODE(CS_PUBLIC* ct_getformat)(CS_COMMAND* cmd, CS_INT colnum, CS_VOID* buffer,
                                           CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_keydata)(CS_COMMAND* cmd, CS_INT action, CS_INT colnum,
                                         CS_VOID* buffer, CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_init)(CS_CONTEXT* context, CS_INT version);
extern CS_RETCODE(CS_PUBLIC* ct_options)(CS_CONNECTION* connection, CS_INT action, CS_INT option,
                                         CS_VOID* param, CS_INT paramlen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_param)(CS_COMMAND* cmd, CS_DATAFMT* datafmt, CS_VOID* data,
                                       CS_INT datalen, CS_SMALLINT indicator);
extern CS_RETCODE(CS_PUBLIC* ct_getloginfo)(CS_CONNECTION* connection, CS_LOGINFO** logptr);
extern CS_RETCODE(CS_PUBLIC* ct_setloginfo)(CS_CONNECTION* connection, CS_LOGINFO* loginfo);
extern CS_RETCODE(CS_PUBLIC* ct_recvpassthru)(CS_COMMAND* cmd, CS_VOID** recvptr);
extern CS_RETCODE(CS_PUBLIC* ct_sendpassthru)(CS_COMMAND* cmd, CS_VOID* send_bufp);
extern CS_RETCODE(CS_PUBLIC* ct_poll)(CS_CONTEXT* context, CS_CONNECTION* connection,
                                      CS_INT milliseconds, CS_CONNECTION** compconn,
                                      CS_COMMAND** compcmd, CS_INT* compid, CS_INT* compstatus);
extern CS_RETCODE(CS_PUBLIC* ct_remote_pwd)(CS_CONNECTION* connection, CS_INT action,
                                            CS_CHAR* server_name, CS_INT snamelen,
                                            CS_CHAR* password, CS_INT pwdlen);
extern CS_RETCODE(CS_PUBLIC* ct_results)(CS_COMMAND* cmd, CS_INT* result_type);
extern CS_RETCODE(CS_PUBLIC* ct_res_info)(CS_COMMAND* cmd, CS_INT type, CS_VOID* buffer,
                                          CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_send)(CS_COMMAND* cmd);
extern CS_RETCODE(CS_PUBLIC* ct_get_data)(CS_COMMAND* cmd, CS_INT item, CS_VOID* buffer,
                                          CS_INT buflen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_send_data)(CS_COMMAND* cmd, CS_VOID* buffer, CS_INT buflen);
extern CS_RETCODE(CS_PUBLIC* ct_data_info)(CS_COMMAND* cmd, CS_INT action, CS_INT colnum,
                                           CS_IODESC* iodesc);
extern CS_RETCODE(CS_PUBLIC* ct_wakeup)(CS_CONNECTION* connection, CS_COMMAND* cmd, CS_INT func_id,
                                        CS_RETCODE status);
extern CS_RETCODE(CS_PUBLIC* ct_labels)(CS_CONNECTION* connection, CS_INT action,
                                        CS_CHAR* labelname, CS_INT namelen, CS_CHAR* labelvalue,
                                        CS_INT valuelen, CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_ds_lookup)(CS_CONNECTION* connection, CS_INT action, CS_INT* reqidp,
                                           CS_DS_LOOKUP_INFO* lookupinfo, CS_VOID* userdatap);
extern CS_RETCODE(CS_PUBLIC* ct_ds_dropobj)(CS_CONNECTION* connection, CS_DS_OBJECT* object);
extern CS_RETCODE(CS_PUBLIC* ct_ds_objinfo)(CS_DS_OBJECT* objclass, CS_INT action, CS_INT objinfo,
                                            CS_INT number, CS_VOID* buffer, CS_INT buflen,
                                            CS_INT* outlen);
extern CS_RETCODE(CS_PUBLIC* ct_setparam)(CS_COMMAND* cmd, CS_DATAFMT* datafmt, CS_VOID* data,
                                          CS_INT* datalen, CS_SMALLINT* indicator);

namespace detail {
/// Loads the Client-Library under its platform name unless it is loaded already. Run once
/// by the module initialisation after the CS-Library; a missing library is silent. A
/// library that lacks an entry point the package calls fails the assertion
/// "Assertion failure (CTPUBLIC, line <n>)".
void initializeCtpublic();
} // namespace detail

} // namespace tovrin
