// The Client-Library's entry-point variables and its loader.
#include "tovrin5/client/Ctpublic.h"

#include "tovrin5/client/LibraryLoader.h"

namespace tovrin {

bool ctDLLLoaded = false;

decltype(ct_debug) ct_debug = nullptr;
decltype(ct_bind) ct_bind = nullptr;
decltype(ct_br_column) ct_br_column = nullptr;
decltype(ct_br_table) ct_br_table = nullptr;
decltype(ct_callback) ct_callback = nullptr;
decltype(ct_cancel) ct_cancel = nullptr;
decltype(ct_capability) ct_capability = nullptr;
decltype(ct_compute_info) ct_compute_info = nullptr;
decltype(ct_close) ct_close = nullptr;
decltype(ct_cmd_alloc) ct_cmd_alloc = nullptr;
decltype(ct_cmd_drop) ct_cmd_drop = nullptr;
decltype(ct_cmd_props) ct_cmd_props = nullptr;
decltype(ct_command) ct_command = nullptr;
decltype(ct_con_alloc) ct_con_alloc = nullptr;
decltype(ct_con_drop) ct_con_drop = nullptr;
decltype(ct_con_props) ct_con_props = nullptr;
decltype(ct_connect) ct_connect = nullptr;
decltype(ct_config) ct_config = nullptr;
decltype(ct_cursor) ct_cursor = nullptr;
decltype(ct_dyndesc) ct_dyndesc = nullptr;
decltype(ct_describe) ct_describe = nullptr;
decltype(ct_diag) ct_diag = nullptr;
decltype(ct_dynamic) ct_dynamic = nullptr;
decltype(ct_exit) ct_exit = nullptr;
decltype(ct_fetch) ct_fetch = nullptr;
decltype(ct_getformat) ct_getformat = nullptr;
decltype(ct_keydata) ct_keydata = nullptr;
decltype(ct_init) ct_init = nullptr;
decltype(ct_options) ct_options = nullptr;
decltype(ct_param) ct_param = nullptr;
decltype(ct_getloginfo) ct_getloginfo = nullptr;
decltype(ct_setloginfo) ct_setloginfo = nullptr;
decltype(ct_recvpassthru) ct_recvpassthru = nullptr;
decltype(ct_sendpassthru) ct_sendpassthru = nullptr;
decltype(ct_poll) ct_poll = nullptr;
decltype(ct_remote_pwd) ct_remote_pwd = nullptr;
decltype(ct_results) ct_results = nullptr;
decltype(ct_res_info) ct_res_info = nullptr;
decltype(ct_send) ct_send = nullptr;
decltype(ct_get_data) ct_get_data = nullptr;
decltype(ct_send_data) ct_send_data = nullptr;
decltype(ct_data_info) ct_data_info = nullptr;
decltype(ct_wakeup) ct_wakeup = nullptr;
decltype(ct_labels) ct_labels = nullptr;
decltype(ct_ds_lookup) ct_ds_lookup = nullptr;
decltype(ct_ds_dropobj) ct_ds_dropobj = nullptr;
decltype(ct_ds_objinfo) ct_ds_objinfo = nullptr;
decltype(ct_setparam) ct_setparam = nullptr;

namespace {

void* ctModule = nullptr;

constexpr bool kCalled = true;
constexpr bool kOptional = false;

// In the order of fetching, with the line each assertion reports.
constexpr detail::EntryPoint kCtEntryPoints[] = {
    TOVRIN_ENTRY_POINT(ct_debug, 433, kOptional),
    TOVRIN_ENTRY_POINT(ct_bind, 436, kCalled),
    TOVRIN_ENTRY_POINT(ct_br_column, 439, kOptional),
    TOVRIN_ENTRY_POINT(ct_br_table, 442, kOptional),
    TOVRIN_ENTRY_POINT(ct_callback, 445, kOptional),
    TOVRIN_ENTRY_POINT(ct_cancel, 448, kCalled),
    TOVRIN_ENTRY_POINT(ct_capability, 451, kOptional),
    TOVRIN_ENTRY_POINT(ct_compute_info, 454, kOptional),
    TOVRIN_ENTRY_POINT(ct_close, 457, kCalled),
    TOVRIN_ENTRY_POINT(ct_cmd_alloc, 460, kCalled),
    TOVRIN_ENTRY_POINT(ct_cmd_drop, 463, kCalled),
    TOVRIN_ENTRY_POINT(ct_cmd_props, 466, kOptional),
    TOVRIN_ENTRY_POINT(ct_command, 469, kCalled),
    TOVRIN_ENTRY_POINT(ct_con_alloc, 472, kCalled),
    TOVRIN_ENTRY_POINT(ct_con_drop, 475, kCalled),
    TOVRIN_ENTRY_POINT(ct_con_props, 478, kCalled),
    TOVRIN_ENTRY_POINT(ct_connect, 481, kCalled),
    TOVRIN_ENTRY_POINT(ct_config, 484, kCalled),
    TOVRIN_ENTRY_POINT(ct_cursor, 487, kOptional),
    TOVRIN_ENTRY_POINT(ct_dyndesc, 490, kOptional),
    TOVRIN_ENTRY_POINT(ct_describe, 493, kCalled),
    TOVRIN_ENTRY_POINT(ct_diag, 496, kCalled),
    TOVRIN_ENTRY_POINT(ct_dynamic, 499, kOptional),
    TOVRIN_ENTRY_POINT(ct_exit, 505, kCalled),
    TOVRIN_ENTRY_POINT(ct_fetch, 508, kCalled),
    TOVRIN_ENTRY_POINT(ct_getformat, 511, kOptional),
    TOVRIN_ENTRY_POINT(ct_keydata, 514, kOptional),
    TOVRIN_ENTRY_POINT(ct_init, 517, kCalled),
    TOVRIN_ENTRY_POINT(ct_options, 520, kCalled),
    TOVRIN_ENTRY_POINT(ct_param, 523, kOptional),
    TOVRIN_ENTRY_POINT(ct_getloginfo, 526, kOptional),
    TOVRIN_ENTRY_POINT(ct_setloginfo, 529, kOptional),
    TOVRIN_ENTRY_POINT(ct_recvpassthru, 532, kOptional),
    TOVRIN_ENTRY_POINT(ct_sendpassthru, 535, kOptional),
    TOVRIN_ENTRY_POINT(ct_poll, 538, kOptional),
    TOVRIN_ENTRY_POINT(ct_remote_pwd, 541, kOptional),
    TOVRIN_ENTRY_POINT(ct_results, 544, kCalled),
    TOVRIN_ENTRY_POINT(ct_res_info, 547, kCalled),
    TOVRIN_ENTRY_POINT(ct_send, 550, kCalled),
    TOVRIN_ENTRY_POINT(ct_get_data, 553, kCalled),
    TOVRIN_ENTRY_POINT(ct_send_data, 556, kOptional),
    TOVRIN_ENTRY_POINT(ct_data_info, 559, kCalled),
    TOVRIN_ENTRY_POINT(ct_wakeup, 562, kOptional),
    TOVRIN_ENTRY_POINT(ct_labels, 565, kOptional),
    TOVRIN_ENTRY_POINT(ct_ds_lookup, 568, kOptional),
    TOVRIN_ENTRY_POINT(ct_ds_dropobj, 571, kOptional),
    TOVRIN_ENTRY_POINT(ct_ds_objinfo, 574, kOptional),
    TOVRIN_ENTRY_POINT(ct_setparam, 577, kOptional),
};

} // namespace

namespace detail {

std::span<const EntryPoint> ctEntryPoints() noexcept {
    return kCtEntryPoints;
}

void initializeCtpublic() {
    LibraryBinding binding{"CTPUBLIC", ctDLLLoaded, ctModule, kCtEntryPoints};
    loadLibrary(kCtLibraryName, binding);
}

} // namespace detail

} // namespace tovrin
