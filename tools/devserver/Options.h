// The development server's command line.
#pragma once

#include "Engine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace devserver {

/// Fault switches and login checks that every client session applies.
struct SessionOptions {
    std::optional<std::string> user; ///< the only login accepted, when set
    std::optional<std::string> password;
    int64_t dropAfterRows = -1; ///< close the socket after this many rows of a result
    int loginDelayMs = 0;       ///< wait before answering a login
    int resultDelayMs = 0;      ///< wait before answering each request
    int loginTimeoutMs = 60000; ///< a login not complete by then is dropped
    bool silent = false;        ///< accept connections and never answer
};

struct Options {
    ServerConfig config;
    SessionOptions session;
    std::string bind = "127.0.0.1";
    uint16_t port = 0;
    int maxConnections = 256; ///< clients served at once; more are refused at login
    bool help = false;
};

/// The environment variable the password may come from (a command line is visible to every
/// user of the machine).
inline constexpr const char* kPasswordVariable = "TOVRIN_DEVSERVER_PASSWORD";

/// Parses the arguments (without the program name); `environmentPassword` is the value of
/// kPasswordVariable, if set, used when --password is not given. Throws std::invalid_argument
/// with a message naming the offending argument, or saying why the combination is refused.
Options parseOptions(const std::vector<std::string>& args,
                     const std::optional<std::string>& environmentPassword = std::nullopt);

/// True when `address` (dotted IPv4) is a loopback address, reachable only from this machine.
bool isLoopback(const std::string& address);

/// The text printed by --help.
std::string usage();

} // namespace devserver
