// TSybConnect: one login to a server (a Client-Library context and connection handle),
// its login properties, connecting and disconnecting, the current database, and the
// reading of the connection's diagnostics into events and exceptions.
//
// States and the calls that move between them:
//   not connected --Connect (login succeeded)--> connected
//   connected --Disconnect--> not connected
//   connected --CheckMessages (a client-library failure dropped the handle)--> not connected
//   connected --RaiseCommandFailure (the client library reports the connection dead)-->
//     not connected
// Connect on a connected component and Disconnect on a disconnected one do nothing.
//
// Threads: Connect and Disconnect hold the connection's lock, so that threads sharing a
// connection never log in twice or tear the handle down under a running command; a query
// holds the same lock for the whole of its command.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/host/Component.h"
#include "tovrin5/host/Events.h"
#include "tovrin5/query/SybCommandClient.h"
#include "tovrin5/query/SybMessages.h"

namespace tovrin {

class TSybQuery;
class TSybConnect;
class TTovrinAbout;
class TSybConnectPropertyForm;

namespace detail {
class LoginWatchdog;
} // namespace detail

/// A connection component. Every instance is listed in the registry CTLibConnections under
/// its DatabaseName from construction to destruction; queries find it there by name.
class TSybConnect : public host::TComponent {
public:
    /// PacketSize of a new connection.
    static constexpr CS_INT kDefaultPacketSize = 2048;
    /// The longest database name accepted, in bytes (the server's longest identifier).
    static constexpr std::size_t kMaxDatabaseNameLength = 255;
    /// TextSize of a new connection: the largest value the protocol can carry.
    static constexpr CS_INT kDefaultTextSize = 2147483647;

    /// Registers the connection and names it "Connection<n>", n being the first number from
    /// the number of registered connections (this one included) on whose name no other
    /// connection is registered. Raises EAssertionFailed "CTLibConnections not defined
    /// (SybConnect, line 460)" when the registry does not exist.
    explicit TSybConnect(host::TComponent* AOwner);
    /// Disconnects (events included, exceptions swallowed) and leaves the registry.
    ~TSybConnect() override;
    [[nodiscard]] std::string ClassName() const override { return "TSybConnect"; }
    void GetPublishedProperties(host::TPropList& list) const override;
    void Loaded() override;

    /// Logs in with the current properties, reads the server's date order, reports the
    /// login's messages, sets the database and fires OnConnect. Raises "Connect failed"
    /// or the login's messages when the login fails (within LoginTimeout plus about a
    /// second even against a server that never answers) and a clear message when the
    /// client library is not loaded; a failed Connect releases everything it allocated.
    /// A failing "use" leaves the connection connected and OnConnect not fired.
    void Connect();
    /// Same as Connect.
    void Open() { Connect(); }
    /// Closes the connection, fires OnDisconnect (Connected still true there) and frees
    /// the handles, whatever the event does.
    void Disconnect();
    /// Same as Disconnect.
    void Close() { Disconnect(); }
    /// Disconnect, then Connect.
    void Reconnect();
    /// Sends "use <Database>" when Database is not blank.
    void ChangeDatabase();
    /// Empties the connection's message queue: information to OnServerMessage, errors to
    /// OnServerError (the active client's events take precedence when assigned); a
    /// client-library failure closes and drops the connection. Raises one exception with
    /// the text of every unhandled error, joined by ";" and a line feed: ESybServerError
    /// when the server reported one of them, host::Exception for client failures alone.
    void CheckMessages();
    /// CheckMessages without the final exception: returns the joined text of the
    /// unhandled errors ("" when none). The queue is read and cleared before any handler
    /// runs, so that a handler that raises leaves nothing to be delivered twice; raises
    /// "Message handling failed" or what a handler raises.
    [[nodiscard]] std::string CollectMessages();
    /// CollectMessages into a command's log: every server message is kept there and the
    /// unhandled errors are added to its text, for the command to raise once it has read
    /// everything (TSybMessageLog::RaiseIfAny).
    void CollectMessages(TSybMessageLog& Log);
    /// CheckMessages when Result is not CS_SUCCEED.
    void CSCHECK(CS_RETCODE Result);
    /// True when the client library reports the connection dead (its connection status
    /// holds CS_CONSTAT_DEAD): the server went away or the network failed under it.
    [[nodiscard]] bool ConnectionDead() const;
    /// Raises for a client-library call of a command that failed. When the client library
    /// reports the connection dead, the connection is closed and dropped (Connected false,
    /// the next use logs in again) and ESybConnectionLost is raised: the connection's
    /// messages, then "Connection to server "<ServerName>" lost". Otherwise raises the
    /// connection's messages as CheckMessages does, or Failure when there are none.
    [[noreturn]] void RaiseCommandFailure(const std::string& Failure);
    /// RaiseCommandFailure with the messages the command collected before the failure:
    /// they come first in the text, and a server error among them makes the exception an
    /// ESybServerError.
    [[noreturn]] void RaiseCommandFailure(const std::string& Failure, TSybMessageLog& Log);
    /// The local host's name (empty when it cannot be found).
    [[nodiscard]] static std::string GetDefaultHostName();

    [[nodiscard]] bool Connected() const noexcept { return FConnected.load(); }
    void SetConnected(bool Value);
    [[nodiscard]] const std::string& ServerName() const noexcept { return FServerName; }
    void SetServerName(const std::string& Value);
    /// The database the session works in: blank for the login's default.
    [[nodiscard]] const std::string& Database() const noexcept { return FDatabase; }
    /// Raises "Invalid database name ..." before anything is sent unless Value, without
    /// surrounding blanks, is blank or a plain identifier (letters, digits, _, @, #, $ and
    /// bytes from 0x80 on, not starting with a digit or $, at most 255 bytes). While
    /// connected, switches the session with "use" first and takes the name only when the
    /// switch succeeds: on failure the previous name and database stay.
    void SetDatabase(const std::string& Value);
    [[nodiscard]] const std::string& UserName() const noexcept { return FUserName; }
    void SetUserName(const std::string& Value);
    /// Never stored with the component; set it at run time.
    [[nodiscard]] const std::string& Password() const noexcept { return FPassword; }
    void SetPassword(const std::string& Value);
    [[nodiscard]] const std::string& ApplicationName() const noexcept { return FApplicationName; }
    void SetApplicationName(const std::string& Value);
    /// The host name sent at login; the local host's name after the first Connect when blank.
    [[nodiscard]] const std::string& HostName() const noexcept { return FHostName; }
    /// Ignores the value: HostName is read-only in effect.
    void SetHostName(const std::string& Value);
    /// The name under which queries find this connection.
    [[nodiscard]] const std::string& DatabaseName() const noexcept { return FDatabaseName; }
    /// Renames; raises "Connection named "<name>" already exists" when another (or this)
    /// connection's name equals Value after trimming blanks and upper-casing. An exactly
    /// equal value does nothing.
    void SetDatabaseName(const std::string& Value);
    /// Seconds a login may take; 60 by default. Takes effect at the next Connect.
    [[nodiscard]] CS_INT LoginTimeout() const noexcept { return FLoginTimeout; }
    void SetLoginTimeout(CS_INT Value) noexcept { FLoginTimeout = Value; }
    /// Seconds one command may take from its sending to its last result; 0 (the default)
    /// or less means no limit. A command that runs longer is ended by closing the
    /// connection under it: the query raises the client library's messages (connection
    /// timed out, unexpected end of file) and the next execution logs in again. Not part
    /// of the stored form. A change applies from the next command on.
    [[nodiscard]] CS_INT CommandTimeout() const noexcept { return FCommandTimeout.load(); }
    void SetCommandTimeout(CS_INT Value);
    /// The network packet size, in bytes, asked of the server at login: 2,048 by default
    /// (the default packet size of current servers, where the client library's own is 512;
    /// larger packets mean far fewer reads for large results), 0 for the client library's
    /// default (its configuration file's "initial block size"), otherwise 512 to 32,767. The
    /// server grants at most its configured maximum. Takes effect at the next Connect; not
    /// part of the stored form. Raises "Invalid packet size <n>: 0 or 512 to 32767 expected".
    [[nodiscard]] CS_INT PacketSize() const noexcept { return FPacketSize; }
    void SetPacketSize(CS_INT Value);
    /// The packet size the server granted at the last login; 0 when not connected.
    [[nodiscard]] CS_INT NegotiatedPacketSize() const;
    /// The character set in which the connection gives and takes text: "utf8" by default,
    /// so that every string is UTF-8 when freetds.conf names no client charset. It is asked
    /// of the client library at login (CS_SYB_CHARSET of a locale set as CS_LOC_PROP); for
    /// "utf8" the login also runs under a UTF-8 locale of the calling thread, from which
    /// FreeTDS takes its client character set, and FreeTDS then converts between UTF-8 and
    /// the character set the server announces. A client charset that freetds.conf names
    /// still wins. Empty leaves everything to FreeTDS's configuration (its "client
    /// charset", else ISO-8859-1 under the C locale). Takes effect at the next Connect.
    [[nodiscard]] const std::string& ClientCharset() const noexcept { return FClientCharset; }
    void SetClientCharset(const std::string& Value) { FClientCharset = Value; }
    /// The longest text or image value, in bytes, the server sends on this connection:
    /// set at login, 2,147,483,647 (the most the protocol allows) by default, so that
    /// reading every row reads every byte; 0 keeps the server's own default (32,768 bytes
    /// on Adaptive Server). Takes effect at the next Connect; not part of the stored form.
    /// Raises "Invalid text size <n>: 0 to 2147483647 expected" for a negative value.
    [[nodiscard]] CS_INT TextSize() const noexcept { return FTextSize; }
    void SetTextSize(CS_INT Value);

    /// Bounds the command that the calling thread runs on the connection while the
    /// object lives, by CommandTimeout; does nothing when there is no limit. A query
    /// creates one once it holds the connection's lock and has sent nothing yet.
    class TCommandWatch final {
    public:
        explicit TCommandWatch(const TSybConnect& Connection);
        ~TCommandWatch();
        TCommandWatch(const TCommandWatch&) = delete;
        TCommandWatch& operator=(const TCommandWatch&) = delete;
        /// True when the limit was reached and the connection closed under the command.
        [[nodiscard]] bool Fired() const;

    private:
        std::unique_ptr<detail::LoginWatchdog> m_watchdog;
    };

    // ---- transactions (SybTransactions.cpp) ----------------------------------------------
    /// Sends "begin tran". Transactions nest as the server nests them: each
    /// StartTransaction needs its Commit; Rollback ends them all.
    void StartTransaction();
    /// Sends "commit tran". Raises "Commit: no transaction is open on connection <name>"
    /// when the session has none (the server may have rolled it back after an error), so
    /// that work lost that way is never reported as saved.
    void Commit();
    /// Sends "rollback tran", undoing the session's whole transaction; does nothing when
    /// none is open, so that it is safe in clean-up code.
    void Rollback();
    /// True while the session has an open transaction, whoever began it (StartTransaction,
    /// the application's own SQL or a procedure): asks the server for @@trancount. False
    /// when not connected.
    [[nodiscard]] bool InTransaction();
    /// The session's @@trancount (0 when not connected).
    [[nodiscard]] int TransactionCount();

    /// The design-time About property: always nil, kept only so that a designer can show
    /// the package's information for it.
    [[nodiscard]] TTovrinAbout* About() const noexcept { return FAbout; }
    void SetAbout(TTovrinAbout* Value) noexcept { FAbout = Value; }
    /// The password dialog while the component editor shows it; null otherwise.
    [[nodiscard]] TSybConnectPropertyForm* PropertyForm() const noexcept { return FPropertyForm; }
    void SetPropertyForm(TSybConnectPropertyForm* Value) noexcept { FPropertyForm = Value; }

    [[nodiscard]] const TSybMessageProc& OnServerError() const noexcept { return FOnServerError; }
    void SetOnServerError(TSybMessageProc Value) { FOnServerError = std::move(Value); }
    [[nodiscard]] const TSybMessageProc& OnServerMessage() const noexcept {
        return FOnServerMessage;
    }
    void SetOnServerMessage(TSybMessageProc Value) { FOnServerMessage = std::move(Value); }
    [[nodiscard]] const host::TNotifyEvent& OnConnect() const noexcept { return FOnConnect; }
    void SetOnConnect(host::TNotifyEvent Value) { FOnConnect = std::move(Value); }
    [[nodiscard]] const host::TNotifyEvent& OnDisconnect() const noexcept { return FOnDisconnect; }
    void SetOnDisconnect(host::TNotifyEvent Value) { FOnDisconnect = std::move(Value); }

    // What the query component uses while it runs a command on this connection.

    /// The Client-Library context; null while not connected.
    [[nodiscard]] CS_CONTEXT* Context() const noexcept { return FContext; }
    /// The Client-Library connection handle; valid while connected.
    [[nodiscard]] CS_CONNECTION* ConnectionHandle() const noexcept { return FConnection; }
    /// The lock a query holds for the whole of a command (re-entrant).
    [[nodiscard]] std::recursive_mutex& Lock() noexcept { return FLock; }
    /// The server's date order read at login (1..6, CS_OPT_FMTMDY..CS_OPT_FMTDYM).
    [[nodiscard]] CS_INT DateFormat() const noexcept { return FDateFormat; }
    /// The client (a query) whose command runs on this connection; its message events
    /// take precedence. A client sets itself once it holds the connection's lock and puts
    /// back the previous value before it leaves the lock.
    [[nodiscard]] TSybCommandClient* ActiveQuery() const noexcept { return FActiveQuery.load(); }
    void SetActiveQuery(TSybCommandClient* Query) noexcept { FActiveQuery.store(Query); }

private:
    void requireLibraries() const;
    void login();
    void releaseConnection() noexcept;
    void useDatabase(const std::string& name);
    static void checkDatabaseName(const std::string& name);
    void dropLostConnection() noexcept;
    void releaseContext() noexcept;
    void setStringProperty(CS_INT property, const std::string& value);
    void setClientCharset();

    TTovrinAbout* FAbout = nullptr;
    mutable std::recursive_mutex FLock;
    CS_CONTEXT* FContext = nullptr;
    CS_CONNECTION* FConnection = nullptr;
    std::atomic<bool> FConnected{false};
    std::string FUserName;
    std::string FPassword;
    std::string FDatabase;
    std::string FServerName;
    std::string FApplicationName;
    std::string FDatabaseName;
    std::atomic<TSybCommandClient*> FActiveQuery{nullptr};
    TSybMessageProc FOnServerError;
    TSybMessageProc FOnServerMessage;
    host::TNotifyEvent FOnConnect;
    host::TNotifyEvent FOnDisconnect;
    CS_INT FDateFormat = CS_OPT_FMTMDY;
    std::string FHostName;
    TSybConnectPropertyForm* FPropertyForm = nullptr;
    CS_INT FLoginTimeout = 60;
    CS_INT FPacketSize = kDefaultPacketSize;
    std::string FClientCharset = "utf8";
    CS_INT FTextSize = kDefaultTextSize;
    // The further context setting applied after the login timeout: CS_TIMEOUT, the
    // client library's own wait limit, from CommandTimeout (CS_NO_LIMIT when 0). With
    // inline diagnostics FreeTDS only reports that limit and goes on waiting; the
    // TCommandWatch of each command is what ends the wait.
    std::atomic<CS_INT> FCommandTimeout{0};
};

} // namespace tovrin
