// Opens the client libraries at run time and binds their entry points.
#include "tovrin5/client/LibraryLoader.h"

#if defined(_WIN32)
#include <windows.h>

#include <cstdint>
#else
#include <dlfcn.h>
#endif

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Runtime.h"

namespace tovrin::detail {

void* openLibrary(const char* fileName) noexcept {
#if defined(_WIN32)
    // A missing library must not bring up a system dialog.
    const UINT savedMode = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(fileName);
    SetErrorMode(savedMode);
    return reinterpret_cast<std::uintptr_t>(module) < 32 ? nullptr : module;
#else
    // RTLD_NODELETE keeps the code mapped after the handle is closed at process end, so a
    // late call through a copied pointer and leak checkers still find the library.
    return dlopen(fileName, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
#endif
}

void closeLibrary(void* module) noexcept {
    if (module == nullptr) {
        return;
    }
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(module));
#else
    dlclose(module);
#endif
}

void* findEntryPoint(void* module, const char* name) noexcept {
    if (module == nullptr) {
        return nullptr;
    }
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
#else
    return dlsym(module, name);
#endif
}

void loadLibrary(const char* fileName, LibraryBinding& binding) {
    if (binding.loaded) {
        return;
    }
    void* module = openLibrary(fileName);
    if (module == nullptr) {
        return;
    }
    binding.loaded = true;
    binding.module = module;

    // At process end the variables are nulled before the module goes, so that nothing
    // can call into a freed library.
    bool* loaded = &binding.loaded;
    void** moduleSlot = &binding.module;
    std::span<const EntryPoint> entryPoints = binding.entryPoints;
    host::AddExitProc([loaded, moduleSlot, entryPoints] {
        *loaded = false;
        for (const EntryPoint& entry : entryPoints) {
            entry.store(nullptr);
        }
        closeLibrary(*moduleSlot);
        *moduleSlot = nullptr;
    });

    for (const EntryPoint& entry : binding.entryPoints) {
        void* address = findEntryPoint(module, entry.name);
        entry.store(address);
        if (entry.required) {
            host::Assert(address != nullptr, binding.unitName, entry.line);
        }
    }
}

} // namespace tovrin::detail
