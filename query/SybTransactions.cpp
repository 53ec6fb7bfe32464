// TSybConnect: the session's transactions. The server keeps the only true account of
// them (@@trancount): a transaction begun by the application's own SQL or a procedure
// counts as much as one begun here, and an error may end one behind the application's
// back, so nothing here keeps a flag of its own.
#include <mutex>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"

namespace tovrin {

void TSybConnect::StartTransaction() {
    detail::execOnConnection(*this, "begin tran");
}

void TSybConnect::Commit() {
    std::lock_guard<std::recursive_mutex> lock(FLock);
    if (TransactionCount() == 0)
        throw host::Exception("Commit: no transaction is open on connection " + FDatabaseName);
    detail::execOnConnection(*this, "commit tran");
}

void TSybConnect::Rollback() {
    std::lock_guard<std::recursive_mutex> lock(FLock);
    if (TransactionCount() > 0)
        detail::execOnConnection(*this, "rollback tran");
}

bool TSybConnect::InTransaction() {
    return TransactionCount() > 0;
}

int TSybConnect::TransactionCount() {
    if (!Connected())
        return 0;
    TSybQuery query(nullptr);
    query.SetDatabaseName(FDatabaseName);
    query.SQL()->SetText("select @@trancount");
    query.Open();
    return query.IsEmpty() || query.FieldCount() == 0 ? 0 : query.Fields()[0]->AsInteger();
}

} // namespace tovrin
