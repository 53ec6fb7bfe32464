// Runs with libct hidden: checks that the package loads, reports both libraries as not
// loaded with every entry point null, and that a connect raises a clear exception instead
// of calling into a missing library. Prints what it found; exits 0 when all holds.
#include <cstdio>
#include <exception>
#include <string>

#include "client/Cspublic.h"
#include "client/Ctpublic.h"
#include "client/LibraryLoader.h"
#include "query/SybConnect.h"

int main() {
    int failures = 0;
    std::printf("csDLLLoaded=%d ctDLLLoaded=%d\n", tovrin::csDLLLoaded, tovrin::ctDLLLoaded);
    if (tovrin::csDLLLoaded || tovrin::ctDLLLoaded) {
        ++failures;
    }
    for (const auto& entries : {tovrin::detail::csEntryPoints(), tovrin::detail::ctEntryPoints()}) {
        for (const auto& entry : entries) {
            if (entry.isBound()) {
                std::printf("bound without the library: %s\n", entry.name);
                ++failures;
            }
        }
    }
    try {
        tovrin::TSybConnect connection(nullptr);
        connection.SetServerName("DEVSERVER");
        connection.Connect();
        std::printf("connect did not raise\n");
        ++failures;
    } catch (const std::exception& e) {
        std::printf("exception: %s\n", e.what());
        if (std::string(e.what()).find("libct.so.4") == std::string::npos) {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
