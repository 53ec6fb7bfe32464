// tovrin-browse: a window to run SQL batches against a server and browse, filter, sort,
// search and edit their results in memory.
//
//   tovrin-browse [-S server] [-U user] [-D database] [-Q sql] [--connect]
//
// The password is typed into the window, or taken from TOVRIN_PASSWORD with --connect;
// it is never taken from the command line, shown or stored.
#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "BrowseWindow.h"

namespace {

constexpr const char* kUsage =
    "usage: tovrin-browse [-S server] [-U user] [-D database] [-Q sql] [--connect]\n"
    "  -S server    a section of freetds.conf (FREETDSCONF names the file)\n"
    "  -U user      login name\n"
    "  -D database  database to use after the login\n"
    "  -Q sql       SQL text to start with\n"
    "  --connect    log in at once (password from TOVRIN_PASSWORD, else empty)\n";

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tovrin::browse::BrowseSettings settings;
    bool connectNow = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << "tovrin-browse: " << arg << " needs a value\n" << kUsage;
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "-S")
            settings.server = value();
        else if (arg == "-U")
            settings.user = value();
        else if (arg == "-D")
            settings.database = value();
        else if (arg == "-Q")
            settings.sql = value();
        else if (arg == "--connect")
            connectNow = true;
        else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "tovrin-browse: unknown argument " << arg << "\n" << kUsage;
            return 2;
        }
    }
    tovrin::browse::BrowseWindow window(settings);
    window.show();
    if (connectNow) {
        const char* password = std::getenv("TOVRIN_PASSWORD");
        if (window.connectToServer(password != nullptr ? password : "") && !settings.sql.empty())
            window.runBatch();
    }
    return QApplication::exec();
}
