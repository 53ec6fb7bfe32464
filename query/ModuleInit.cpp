// Module initialisation and finalisation. When the shared library loads, the units
// initialise in dependency order: Cstypes, Cspublic (loads the CS-Library), Ctpublic
// (loads the Client-Library), Csconfig, SybDataSet, and last SybConnect (creates the
// registry). Unloading finalises them in reverse order. Cstypes, Csconfig and SybDataSet
// have nothing to run. Everything touched here is constant-initialised, so the order in
// which C++ initialises the other files of the library does not matter.
#include "tovrin5/client/Cspublic.h"
#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/query/SybRegistry.h"

namespace {

__attribute__((constructor)) void initializeTovrinModule() {
    // An exception here (a library that lacks an entry point the package calls) ends the
    // loading of the module, and with it the process.
    tovrin::detail::initializeCspublic();
    tovrin::detail::initializeCtpublic();
    tovrin::detail::initializeSybConnect();
}

__attribute__((destructor)) void finalizeTovrinModule() {
    // The libraries themselves are freed at process end by their exit procedures.
    tovrin::detail::finalizeSybConnect();
}

} // namespace
