// The run-time loader shared by the CS-Library and Client-Library units: opens a library
// by name, fetches its entry points into their variables in a fixed order, and closes it
// again at process end through the exit-procedure chain.
#pragma once

#include <span>
#include <type_traits>

namespace tovrin::detail {

/// One entry point of a library: its name, the source line its assertion reports, whether
/// the package calls it (then a missing one fails the load) and how to store its address.
struct EntryPoint {
    const char* name;
    int line;
    bool required;
    void (*store)(void* address) noexcept;
    bool (*isBound)() noexcept;
};

/// Stores an address into the entry-point variable Var.
template <auto& Var> void storeEntryPoint(void* address) noexcept {
    Var = reinterpret_cast<std::remove_reference_t<decltype(Var)>>(address);
}

/// True when the entry-point variable Var holds an address.
template <auto& Var> bool entryPointBound() noexcept {
    return Var != nullptr;
}

/// What one loader unit owns: its loaded flag, its module handle and its entry points. They
/// must live until process end: the exit procedure that frees the library writes to them.
struct LibraryBinding {
    const char* unitName;
    bool& loaded;
    void*& module;
    std::span<const EntryPoint> entryPoints;
};

/// Loads the library fileName into the binding, once:
/// - already loaded: nothing happens;
/// - the library cannot be opened: the flag stays False and every variable stays null,
///   silently (no system dialog on platforms that would show one);
/// - otherwise the flag becomes True, an exit procedure that frees the library (and nulls
///   the flag and variables) joins the exit chain, and the entry points are fetched in
///   order. A missing entry point that the package calls raises EAssertionFailed
///   "Assertion failure (<unit>, line <n>)"; those fetched before it keep their
///   addresses, later ones stay null. Missing optional entry points stay null.
void loadLibrary(const char* fileName, LibraryBinding& binding);

/// Opens a shared library by name; nullptr when it cannot be opened.
[[nodiscard]] void* openLibrary(const char* fileName) noexcept;
/// Closes a handle returned by openLibrary (null is ignored).
void closeLibrary(void* module) noexcept;
/// The address of an exported function; nullptr when absent.
[[nodiscard]] void* findEntryPoint(void* module, const char* name) noexcept;

} // namespace tovrin::detail

/// Builds the EntryPoint of variable fn with its assertion line and requirement.
#define TOVRIN_ENTRY_POINT(fn, line, required)                                                     \
    ::tovrin::detail::EntryPoint {                                                                 \
#fn, line, required, &::tovrin::detail::storeEntryPoint < fn>,                             \
            &::tovrin::detail::entryPointBound < fn>                                               \
    }

namespace tovrin::detail {
/// The CS-Library's entry points in fetching order.
[[nodiscard]] std::span<const EntryPoint> csEntryPoints() noexcept;
/// The Client-Library's entry points in fetching order.
[[nodiscard]] std::span<const EntryPoint> ctEntryPoints() noexcept;
} // namespace tovrin::detail
