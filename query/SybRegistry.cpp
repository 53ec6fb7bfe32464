// The named-connection registry: creation and release with the module, name keys and
// lookup. Naming and removal are done by the connection itself (SybConnection.cpp).
#include "tovrin5/query/SybRegistry.h"

#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/SybConnection.h"

namespace tovrin {

host::TThreadList* CTLibConnections = nullptr;

namespace detail {

std::string connectionKey(const std::string& name) {
    return host::AnsiUpperCase(host::Trim(name));
}

TSybConnect* findConnection(const std::string& Name) {
    if (CTLibConnections == nullptr) {
        return nullptr;
    }
    const std::string key = connectionKey(Name);
    host::TThreadListLock lock(*CTLibConnections);
    for (void* item : lock.list()->List()) {
        auto* connection = static_cast<TSybConnect*>(item);
        if (connectionKey(connection->DatabaseName()) == key) {
            return connection;
        }
    }
    return nullptr;
}

void initializeSybConnect() {
    if (CTLibConnections == nullptr) {
        CTLibConnections = new host::TThreadList();
    }
}

void finalizeSybConnect() noexcept {
    delete CTLibConnections;
    CTLibConnections = nullptr;
}

} // namespace detail
} // namespace tovrin
