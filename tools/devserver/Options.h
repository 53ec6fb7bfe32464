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
    bool silent = false;        ///< accept connections and never answer
};

struct Options {
    ServerConfig config;
    SessionOptions session;
    std::string bind = "127.0.0.1";
    uint16_t port = 0;
    bool help = false;
};

/// Parses the arguments (without the program name). Throws std::invalid_argument with a
/// message naming the offending argument.
Options parseOptions(const std::vector<std::string>& args);

/// The text printed by --help.
std::string usage();

} // namespace devserver
