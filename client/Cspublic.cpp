// The CS-Library's entry-point variables and its loader.
#include "tovrin5/client/Cspublic.h"

#include "tovrin5/client/LibraryLoader.h"

namespace tovrin {

bool csDLLLoaded = false;

decltype(cs_calc) cs_calc = nullptr;
decltype(cs_cmp) cs_cmp = nullptr;
decltype(cs_convert) cs_convert = nullptr;
decltype(cs_will_convert) cs_will_convert = nullptr;
decltype(cs_set_convert) cs_set_convert = nullptr;
decltype(cs_setnull) cs_setnull = nullptr;
decltype(cs_config) cs_config = nullptr;
decltype(cs_ctx_alloc) cs_ctx_alloc = nullptr;
decltype(cs_ctx_drop) cs_ctx_drop = nullptr;
decltype(cs_ctx_global) cs_ctx_global = nullptr;
decltype(cs_objects) cs_objects = nullptr;
decltype(cs_diag) cs_diag = nullptr;
decltype(cs_dt_crack) cs_dt_crack = nullptr;
decltype(cs_dt_info) cs_dt_info = nullptr;
decltype(cs_locale) cs_locale = nullptr;
decltype(cs_loc_alloc) cs_loc_alloc = nullptr;
decltype(cs_loc_drop) cs_loc_drop = nullptr;
decltype(cs_strbuild) cs_strbuild = nullptr;
decltype(cs_strcmp) cs_strcmp = nullptr;
decltype(cs_time) cs_time = nullptr;
decltype(cs_manage_convert) cs_manage_convert = nullptr;
decltype(cs_conv_mult) cs_conv_mult = nullptr;

namespace {

void* csModule = nullptr;

constexpr bool kCalled = true;
constexpr bool kOptional = false;

// In the order of fetching, with the line each assertion reports.
constexpr detail::EntryPoint kCsEntryPoints[] = {
    TOVRIN_ENTRY_POINT(cs_calc, 1352, kOptional),
    TOVRIN_ENTRY_POINT(cs_cmp, 1355, kOptional),
    TOVRIN_ENTRY_POINT(cs_convert, 1358, kOptional),
    TOVRIN_ENTRY_POINT(cs_will_convert, 1361, kOptional),
    TOVRIN_ENTRY_POINT(cs_set_convert, 1364, kOptional),
    TOVRIN_ENTRY_POINT(cs_setnull, 1367, kOptional),
    TOVRIN_ENTRY_POINT(cs_config, 1370, kOptional),
    TOVRIN_ENTRY_POINT(cs_ctx_alloc, 1373, kCalled),
    TOVRIN_ENTRY_POINT(cs_ctx_drop, 1376, kCalled),
    TOVRIN_ENTRY_POINT(cs_ctx_global, 1379, kOptional),
    TOVRIN_ENTRY_POINT(cs_objects, 1382, kOptional),
    TOVRIN_ENTRY_POINT(cs_diag, 1385, kOptional),
    TOVRIN_ENTRY_POINT(cs_dt_crack, 1388, kOptional),
    TOVRIN_ENTRY_POINT(cs_dt_info, 1391, kOptional),
    TOVRIN_ENTRY_POINT(cs_locale, 1394, kCalled),
    TOVRIN_ENTRY_POINT(cs_loc_alloc, 1397, kCalled),
    TOVRIN_ENTRY_POINT(cs_loc_drop, 1400, kCalled),
    TOVRIN_ENTRY_POINT(cs_strbuild, 1403, kOptional),
    TOVRIN_ENTRY_POINT(cs_strcmp, 1409, kOptional),
    TOVRIN_ENTRY_POINT(cs_time, 1412, kOptional),
    TOVRIN_ENTRY_POINT(cs_manage_convert, 1415, kOptional),
    TOVRIN_ENTRY_POINT(cs_conv_mult, 1418, kOptional),
};

} // namespace

namespace detail {

std::span<const EntryPoint> csEntryPoints() noexcept {
    return kCsEntryPoints;
}

void initializeCspublic() {
    LibraryBinding binding{"cspublic", csDLLLoaded, csModule, kCsEntryPoints};
    loadLibrary(kCsLibraryName, binding);
}

} // namespace detail

} // namespace tovrin
