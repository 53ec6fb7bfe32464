// What a connection needs from the query component that runs commands on it. The
// connection is built before the query and knows it only through this header: the
// message events of the query whose command is running, and a way to run one statement
// of its own ("use <database>"). Both are resolved when the library is linked, so there is
// nothing to install at load time and nothing that can be missing.
#pragma once

#include <string>

#include "tovrin5/query/SybMessages.h"

namespace tovrin {

class TSybConnect;

/// A component whose command may run on a connection. While it holds the connection's
/// lock for its command it is the connection's active client, and its assigned events
/// take the connection's messages in place of the connection's own.
class TSybCommandClient {
public:
    /// Receives informational messages of this client's command (unassigned: the
    /// connection's OnServerMessage does).
    [[nodiscard]] virtual const TSybMessageProc& OnServerMessage() const noexcept = 0;
    /// Receives errors of this client's command (unassigned: the connection's
    /// OnServerError does).
    [[nodiscard]] virtual const TSybMessageProc& OnServerError() const noexcept = 0;

protected:
    TSybCommandClient() = default;
    TSybCommandClient(const TSybCommandClient&) = default;
    TSybCommandClient& operator=(const TSybCommandClient&) = default;
    ~TSybCommandClient() = default;
};

namespace detail {

/// Runs Sql on Connection through a temporary query that finds the connection by its name
/// (defined with the query's execution). Raises what that execution raises.
void execOnConnection(TSybConnect& Connection, const std::string& Sql);

} // namespace detail
} // namespace tovrin
