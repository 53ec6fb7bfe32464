// Configuration declarations of the client-library binding: the calling convention of the
// library's entry points and the names under which the libraries are loaded on each
// platform. Nothing here runs.
#pragma once

#if defined(_WIN32)
/// Calling convention of every CS-Library and Client-Library entry point.
#define CS_PUBLIC __stdcall
#else
#define CS_PUBLIC
#endif

namespace tovrin {

#if defined(_WIN32)
/// File name of the CS-Library as the loader opens it.
inline constexpr const char* kCsLibraryName = "LIBCS.DLL";
/// File name of the Client-Library as the loader opens it.
inline constexpr const char* kCtLibraryName = "LIBCT.DLL";
#else
// FreeTDS ships both libraries in one shared object.
inline constexpr const char* kCsLibraryName = "libct.so.4";
inline constexpr const char* kCtLibraryName = "libct.so.4";
#endif

} // namespace tovrin
