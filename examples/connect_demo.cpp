// Connects to a server with the login given on the command line, prints every message the
// server sends through the connection's events, and reports the outcome of the login
// (client-library failures arrive as the exception text).
//
//   connect_demo --server DEVSERVER --user sa --password demo [--database pubs]
//                [--app connect_demo] [--host name] [--timeout seconds]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include <tovrin5/tovrin5.h>

namespace {

void printUsage() {
    std::fprintf(stderr, "usage: connect_demo --server NAME [--user NAME] [--password TEXT] "
                         "[--database NAME] [--app NAME] [--host NAME] [--timeout SECONDS]\n");
}

void printMessage(const char* kind, const tovrin::TSybMessage* message) {
    std::printf("%s %d, severity %d: %s\n", kind, message->MsgNumber(), message->Severity(),
                message->Text().c_str());
}

} // namespace

int main(int argc, char** argv) {
    auto connection = std::make_unique<tovrin::TSybConnect>(nullptr);
    connection->SetApplicationName("connect_demo");
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            printUsage();
            return 2;
        }
        const std::string value = argv[++i];
        if (option == "--server") {
            connection->SetServerName(value);
        } else if (option == "--user") {
            connection->SetUserName(value);
        } else if (option == "--password") {
            connection->SetPassword(value);
        } else if (option == "--database") {
            connection->SetDatabase(value);
        } else if (option == "--app") {
            connection->SetApplicationName(value);
        } else if (option == "--host") {
            connection->SetHostName(value); // ignored: the host name is the local one
            std::printf("note: the host name is always the local host's name\n");
        } else if (option == "--timeout") {
            connection->SetLoginTimeout(std::atoi(value.c_str()));
        } else {
            printUsage();
            return 2;
        }
    }
    if (connection->ServerName().empty()) {
        printUsage();
        return 2;
    }

    std::printf("CS-Library loaded: %s, Client-Library loaded: %s\n",
                tovrin::csDLLLoaded ? "yes" : "no", tovrin::ctDLLLoaded ? "yes" : "no");
    connection->SetOnServerMessage(
        [](const tovrin::TSybMessage* message, bool&) { printMessage("server message", message); });
    connection->SetOnServerError([](const tovrin::TSybMessage* message, bool& handled) {
        printMessage("server error", message);
        handled = true;
    });
    connection->SetOnConnect([&](tovrin::host::TObject*) {
        std::printf("connected to %s as %s from host %s (connection %s)\n",
                    connection->ServerName().c_str(), connection->UserName().c_str(),
                    connection->HostName().c_str(), connection->DatabaseName().c_str());
    });
    connection->SetOnDisconnect([](tovrin::host::TObject*) { std::printf("disconnected\n"); });

    try {
        connection->Connect();
        std::printf("server date order: %d\n", connection->DateFormat());
        connection->Disconnect();
    } catch (const std::exception& error) {
        std::printf("connect failed:\n%s\n", error.what());
        return 1;
    }
    return 0;
}
