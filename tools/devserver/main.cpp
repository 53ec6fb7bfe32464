// tovrin-devserver: a TDS 5.0 development server on loopback that executes SQL with SQLite.
#include "Engine.h"
#include "Listener.h"
#include "Options.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <optional>
#include <sys/resource.h>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

devserver::Listener* g_listener = nullptr;

extern "C" void onStopSignal(int) {
    if (g_listener)
        g_listener->requestStop();
}

} // namespace

int main(int argc, char** argv) {
    using namespace devserver;
    Options options;
    try {
        const char* password = std::getenv(kPasswordVariable);
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc),
                               password ? std::optional<std::string>(password) : std::nullopt);
    } catch (const std::exception& e) {
        std::cerr << "tovrin-devserver: " << e.what() << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << usage();
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    // Every client holds descriptors (its socket, its database files): allow as many as the
    // system lets this process have.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    // Large buffers (a long request, its translation, a long value) are mapped on their own
    // and given back to the system when freed, however many came before.
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    setServerCharset(options.config.serverCharset);
    try {
        std::unique_ptr<Database> database = Database::open(options.config);
        Listener listener(options.bind, options.port);
        g_listener = &listener;
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
        std::printf("listening on %s:%u\n", options.bind.c_str(), listener.port());
        std::fflush(stdout);
        listener.run(*database, options.config, options.session, options.maxConnections);
        g_listener = nullptr;
    } catch (const std::exception& e) {
        std::cerr << "tovrin-devserver: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
