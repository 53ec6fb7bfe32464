// The process-wide registry of connections, CTLibConnections, through which queries find
// their connection by name. Names are unique up to letter case and surrounding blanks.
#pragma once

#include <string>

#include "tovrin5/host/Lists.h"

namespace tovrin {

class TSybConnect;
class TSybQuery;

/// Every TSybConnect of the process, in order of construction; the list does not own
/// them. Exists from module load to module unload (null outside). Its lock is re-entrant
/// for the thread that holds it; every access goes through it.
extern host::TThreadList* CTLibConnections;

namespace detail {

/// The registry key of a connection name: blanks trimmed, upper case.
[[nodiscard]] std::string connectionKey(const std::string& name);

/// The first registered connection whose key equals Name's, or nullptr. The lookup routes
/// no messages: a query becomes a connection's active query only while it holds the
/// connection's lock for a command.
[[nodiscard]] TSybConnect* findConnection(const std::string& Name);

/// Creates the registry (module load).
void initializeSybConnect();
/// Frees the registry and nulls the reference (module unload).
void finalizeSybConnect() noexcept;

} // namespace detail
} // namespace tovrin
