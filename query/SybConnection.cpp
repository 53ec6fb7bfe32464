// TSybConnect: login, logout, property setters, registration and naming.
#include "tovrin5/query/SybConnection.h"

#include <locale.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/PropInfo.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/query/LoginWatchdog.h"
#include "tovrin5/query/SybRegistry.h"
#include "tovrin5/query/TovrinAbout.h"

namespace tovrin {

namespace {

// The packet sizes a connection may ask for: a server's smallest, and the largest that
// FreeTDS's ct_con_props passes on (it sends larger requests as 512).
constexpr CS_INT kMinPacketSize = 512;
constexpr CS_INT kMaxPacketSize = 32767;

[[noreturn]] void raiseRoutineFailed(const char* routine) {
    throw host::Exception("CT-Lib routine " + std::string(routine) + " failed");
}

bool isUtf8Name(const std::string& charset) {
    return host::UpperCase(charset) == "UTF8";
}

// FreeTDS takes the character set it gives and takes text in (its "client charset") from
// its configuration file or, when that names none, from the character set of the calling
// thread's locale: ISO-8859-1 under the C locale that programs start in. While it exists,
// an object of this class gives the calling thread a UTF-8 locale, so that a login asking
// for utf8 also gets UTF-8 on the client side; the process's locale is left alone.
class TUtf8ThreadLocale final {
public:
    TUtf8ThreadLocale() {
        static const locale_t kUtf8 = [] {
            // C.UTF-8 is built into current C libraries; the others are common fallbacks.
            for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
                if (locale_t found = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0))) {
                    return found;
                }
            }
            return static_cast<locale_t>(0);
        }();
        if (kUtf8 != static_cast<locale_t>(0)) {
            m_previous = uselocale(kUtf8);
        }
    }
    ~TUtf8ThreadLocale() {
        if (m_previous != static_cast<locale_t>(0)) {
            uselocale(m_previous);
        }
    }
    TUtf8ThreadLocale(const TUtf8ThreadLocale&) = delete;
    TUtf8ThreadLocale& operator=(const TUtf8ThreadLocale&) = delete;

private:
    locale_t m_previous = static_cast<locale_t>(0);
};

} // namespace

TSybConnect::TSybConnect(host::TComponent* AOwner) : host::TComponent(AOwner) {
    host::Assert(CTLibConnections != nullptr, "CTLibConnections not defined", "SybConnect", 460);
    // Entry and name in one hold of the registry's lock: no other thread can take the
    // name between the search and the entry.
    host::TThreadListLock lock(*CTLibConnections);
    host::TList* list = lock.list();
    for (int number = list->Count() + 1;; ++number) {
        std::string name = "Connection" + std::to_string(number);
        if (detail::findConnection(name) == nullptr) {
            FDatabaseName = std::move(name);
            break;
        }
    }
    list->Add(this);
}

TSybConnect::~TSybConnect() {
    try {
        SetConnected(false);
    } catch (...) {
        // A destructor never throws; the handles are released by Disconnect regardless.
    }
    releaseConnection();
    releaseContext();
    if (CTLibConnections != nullptr) {
        host::TThreadListLock lock(*CTLibConnections);
        lock.list()->Remove(this);
    }
}

void TSybConnect::GetPublishedProperties(host::TPropList& list) const {
    host::TComponent::GetPublishedProperties(list);
    using C = TSybConnect;
    list.push_back(host::ObjectProperty<C>("About", "TTovrinAbout", &C::About));
    list.push_back(
        host::BoolProperty<C>("Connected", &C::Connected, &C::SetConnected).storedNever());
    list.push_back(host::StringProperty<C>("ServerName", &C::ServerName, &C::SetServerName));
    list.push_back(host::StringProperty<C>("Database", &C::Database, &C::SetDatabase));
    list.push_back(host::StringProperty<C>("UserName", &C::UserName, &C::SetUserName));
    list.push_back(
        host::StringProperty<C>("ApplicationName", &C::ApplicationName, &C::SetApplicationName));
    list.push_back(
        host::StringProperty<C>("HostName", &C::HostName, &C::SetHostName).storedNever());
    list.push_back(host::StringProperty<C>("DatabaseName", &C::DatabaseName, &C::SetDatabaseName));
    list.push_back(host::IntegerProperty<C>("LoginTimeout", &C::LoginTimeout, &C::SetLoginTimeout));
    list.push_back(host::StringProperty<C>("ClientCharset", &C::ClientCharset, &C::SetClientCharset)
                       .withDefault(host::Variant(std::string("utf8"))));
    list.push_back(host::EventProperty<C, void(const TSybMessage*, bool&)>(
        "OnServerError", "TSybMessageProc", &C::OnServerError, &C::SetOnServerError));
    list.push_back(host::EventProperty<C, void(const TSybMessage*, bool&)>(
        "OnServerMessage", "TSybMessageProc", &C::OnServerMessage, &C::SetOnServerMessage));
    list.push_back(host::EventProperty<C, void(host::TObject*)>("OnConnect", "TNotifyEvent",
                                                                &C::OnConnect, &C::SetOnConnect));
    list.push_back(host::EventProperty<C, void(host::TObject*)>(
        "OnDisconnect", "TNotifyEvent", &C::OnDisconnect, &C::SetOnDisconnect));
}

void TSybConnect::Loaded() {
    host::TComponent::Loaded();
}

void TSybConnect::requireLibraries() const {
    if (!csDLLLoaded) {
        throw host::Exception("Cannot connect: the CS-Library (" + std::string(kCsLibraryName) +
                              ") is not loaded");
    }
    if (!ctDLLLoaded) {
        throw host::Exception("Cannot connect: the Client-Library (" + std::string(kCtLibraryName) +
                              ") is not loaded");
    }
}

void TSybConnect::Connect() {
    // Threads sharing the connection log in once: the second waits and finds it connected.
    std::unique_lock<std::recursive_mutex> guard(FLock);
    if (FConnected) {
        return;
    }
    requireLibraries();
    // A context left behind by a connection that a client-library failure dropped.
    releaseContext();
    FDateFormat = CS_OPT_FMTMDY;

    CS_CONTEXT* context = nullptr;
    if (cs_ctx_alloc(CS_VERSION_110, &context) != CS_SUCCEED) {
        if (context != nullptr) {
            cs_ctx_drop(context);
        }
        raiseRoutineFailed("cs_ctx_alloc(CS_VERSION_110, FContext)");
    }
    FContext = context;
    if (ct_init(FContext, CS_VERSION_110) != CS_SUCCEED) {
        releaseContext();
        raiseRoutineFailed("ct_init(FContext, CS_VERSION_110)");
    }

    try {
        login();
    } catch (...) {
        releaseConnection();
        releaseContext();
        throw;
    }
    FConnected = true;
    ChangeDatabase();
    guard.unlock();
    FOnConnect(this);
}

void TSybConnect::login() {
    if (ct_con_alloc(FContext, &FConnection) != CS_SUCCEED) {
        FConnection = nullptr;
        raiseRoutineFailed("ct_con_alloc(FContext, FConnection)");
    }
    if (ct_diag(FConnection, CS_INIT, CS_UNUSED, CS_UNUSED, nullptr) != CS_SUCCEED) {
        raiseRoutineFailed("ct_diag(FConnection, CS_INIT,CS_UNUSED,CS_UNUSED,nil)");
    }
    CS_INT diagTimeout = CS_TRUE;
    CSCHECK(ct_con_props(FConnection, CS_SET, CS_DIAG_TIMEOUT, &diagTimeout, CS_UNUSED, nullptr));
    setStringProperty(CS_USERNAME, FUserName);
    setStringProperty(CS_PASSWORD, FPassword);
    setStringProperty(CS_APPNAME, FApplicationName);
    if (host::Trim(FHostName).empty()) {
        FHostName = GetDefaultHostName();
    }
    setStringProperty(CS_HOSTNAME, FHostName);
    if (FPacketSize > 0) {
        CS_INT packetSize = FPacketSize;
        CSCHECK(ct_con_props(FConnection, CS_SET, CS_PACKETSIZE, &packetSize, CS_UNUSED, nullptr));
    }
    setClientCharset();
    CS_INT loginTimeout = FLoginTimeout;
    CSCHECK(ct_config(FContext, CS_SET, CS_LOGIN_TIMEOUT, &loginTimeout, CS_UNUSED, nullptr));
    CS_INT commandTimeout = FCommandTimeout > 0 ? FCommandTimeout.load() : CS_NO_LIMIT;
    CSCHECK(ct_config(FContext, CS_SET, CS_TIMEOUT, &commandTimeout, CS_UNUSED, nullptr));

    std::string server = FServerName;
    CS_RETCODE result;
    {
        std::optional<TUtf8ThreadLocale> utf8;
        if (isUtf8Name(FClientCharset)) {
            utf8.emplace();
        }
        detail::LoginWatchdog watchdog(FLoginTimeout);
        result = ct_connect(FConnection, server.data(), CS_NULLTERM);
    }
    if (result != CS_SUCCEED) {
        CheckMessages();
        throw host::Exception("Connect failed");
    }
    if (FTextSize > 0) {
        // Without it the server cuts text and image values to its default (32 KiB).
        CS_INT textSize = FTextSize;
        ct_options(FConnection, CS_SET, CS_OPT_TEXTSIZE, &textSize, CS_UNUSED, nullptr);
    }
    CS_INT outLength = 0;
    ct_options(FConnection, CS_GET, CS_OPT_DATEFORMAT, &FDateFormat, CS_UNUSED, &outLength);
    // Raises when a client-library failure (a login that finished after its time limit,
    // for one) made the connection unusable: CheckMessages then dropped the handle.
    CheckMessages();
    if (FConnection == nullptr) {
        throw host::Exception("Connect failed");
    }
}

void TSybConnect::setStringProperty(CS_INT property, const std::string& value) {
    std::string copy = value;
    CSCHECK(ct_con_props(FConnection, CS_SET, property, copy.data(), CS_NULLTERM, nullptr));
}

void TSybConnect::setClientCharset() {
    if (FClientCharset.empty()) {
        return;
    }
    CS_LOCALE* locale = nullptr;
    if (cs_loc_alloc(FContext, &locale) != CS_SUCCEED) {
        raiseRoutineFailed("cs_loc_alloc(FContext, locale)");
    }
    // The connection keeps its own copy of the locale, so ours goes at once.
    struct DropLocale {
        CS_CONTEXT* context;
        CS_LOCALE* locale;
        ~DropLocale() { cs_loc_drop(context, locale); }
    } drop{FContext, locale};
    std::string charset = FClientCharset;
    if (cs_locale(FContext, CS_SET, locale, CS_SYB_CHARSET, charset.data(), CS_NULLTERM, nullptr) !=
        CS_SUCCEED) {
        raiseRoutineFailed("cs_locale(FContext, CS_SET, locale, CS_SYB_CHARSET)");
    }
    if (ct_con_props(FConnection, CS_SET, CS_LOC_PROP, locale, CS_UNUSED, nullptr) != CS_SUCCEED) {
        CheckMessages();
        raiseRoutineFailed("ct_con_props(FConnection, CS_SET, CS_LOC_PROP)");
    }
}

void TSybConnect::Disconnect() {
    // Never under a running command: its handle goes only once the command has ended.
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (!FConnected) {
        return;
    }
    struct Finally {
        TSybConnect& self;
        ~Finally() {
            self.releaseConnection();
            self.releaseContext();
            self.FConnected = false;
        }
    } finally{*this};
    if (ctDLLLoaded && FConnection != nullptr) {
        if (ct_close(FConnection, CS_UNUSED) != CS_SUCCEED) {
            ct_close(FConnection, CS_FORCE_CLOSE);
        }
        ct_con_drop(FConnection);
        FConnection = nullptr;
    }
    FOnDisconnect(this);
}

void TSybConnect::SetCommandTimeout(CS_INT Value) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FCommandTimeout = Value;
    // The client library's own limit, for its "timed out" message: on the context for
    // later logins and on the open connection, which copied it when it logged in.
    CS_INT limit = Value > 0 ? Value : CS_NO_LIMIT;
    if (FContext != nullptr && ctDLLLoaded) {
        ct_config(FContext, CS_SET, CS_TIMEOUT, &limit, CS_UNUSED, nullptr);
    }
    if (FConnection != nullptr && ctDLLLoaded) {
        ct_con_props(FConnection, CS_SET, CS_TIMEOUT, &limit, CS_UNUSED, nullptr);
    }
}

void TSybConnect::SetPacketSize(CS_INT Value) {
    if (Value != 0 && (Value < kMinPacketSize || Value > kMaxPacketSize)) {
        throw host::Exception("Invalid packet size " + std::to_string(Value) + ": 0 or " +
                              std::to_string(kMinPacketSize) + " to " +
                              std::to_string(kMaxPacketSize) + " expected");
    }
    FPacketSize = Value;
}

void TSybConnect::SetTextSize(CS_INT Value) {
    if (Value < 0) {
        throw host::Exception("Invalid text size " + std::to_string(Value) +
                              ": 0 to 2147483647 expected");
    }
    FTextSize = Value;
}

CS_INT TSybConnect::NegotiatedPacketSize() const {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    CS_INT size = 0;
    if (!FConnected || FConnection == nullptr || !ctDLLLoaded ||
        ct_con_props(FConnection, CS_GET, CS_PACKETSIZE, &size, CS_UNUSED, nullptr) != CS_SUCCEED) {
        return 0;
    }
    return size;
}

TSybConnect::TCommandWatch::TCommandWatch(const TSybConnect& Connection) {
    const CS_INT seconds = Connection.CommandTimeout();
    if (seconds > 0) {
        m_watchdog = std::make_unique<detail::LoginWatchdog>(seconds);
    }
}

TSybConnect::TCommandWatch::~TCommandWatch() = default;

bool TSybConnect::TCommandWatch::Fired() const {
    return m_watchdog != nullptr && m_watchdog->fired();
}

void TSybConnect::Reconnect() {
    Disconnect();
    Connect();
}

void TSybConnect::releaseConnection() noexcept {
    if (FConnection == nullptr) {
        return;
    }
    // After the library is freed at process end its handles die with it.
    if (ctDLLLoaded) {
        ct_con_drop(FConnection);
    }
    FConnection = nullptr;
}

void TSybConnect::releaseContext() noexcept {
    if (FContext == nullptr) {
        return;
    }
    if (ctDLLLoaded && csDLLLoaded) {
        ct_exit(FContext, CS_FORCE_EXIT);
        cs_ctx_drop(FContext);
    }
    FContext = nullptr;
}

void TSybConnect::ChangeDatabase() {
    if (host::Trim(FDatabase).empty()) {
        return;
    }
    useDatabase(FDatabase);
}

void TSybConnect::useDatabase(const std::string& name) {
    // The name goes into the statement's text: only a plain identifier ever gets there.
    checkDatabaseName(name);
    detail::execOnConnection(*this, "use " + host::Trim(name));
}

void TSybConnect::checkDatabaseName(const std::string& name) {
    const std::string trimmed = host::Trim(name);
    const auto isFirst = [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '@' ||
               c == '#' || c >= 0x80;
    };
    const auto isNext = [&](unsigned char c) {
        return isFirst(c) || (c >= '0' && c <= '9') || c == '$';
    };
    bool valid = trimmed.size() <= kMaxDatabaseNameLength &&
                 (trimmed.empty() || isFirst(static_cast<unsigned char>(trimmed[0])));
    for (const char c : trimmed) {
        valid = valid && isNext(static_cast<unsigned char>(c));
    }
    if (!valid) {
        throw host::Exception("Invalid database name \"" + name +
                              "\": a name of letters, digits, _, @, # and $ expected, not "
                              "starting with a digit or $, at most " +
                              std::to_string(kMaxDatabaseNameLength) + " bytes");
    }
}

void TSybConnect::CSCHECK(CS_RETCODE Result) {
    if (Result != CS_SUCCEED) {
        CheckMessages();
    }
}

std::string TSybConnect::GetDefaultHostName() {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) == 0 && buffer[0] != '\0') {
        return std::string(buffer, strnlen(buffer, sizeof buffer));
    }
    // The node name the kernel reports, when the socket layer has none.
    utsname names{};
    if (uname(&names) == 0) {
        return std::string(names.nodename, strnlen(names.nodename, sizeof names.nodename));
    }
    return {};
}

void TSybConnect::SetConnected(bool Value) {
    if (Value == FConnected) {
        return;
    }
    if (Value) {
        Connect();
    } else {
        Disconnect();
    }
}

void TSybConnect::SetServerName(const std::string& Value) {
    if (Value == FServerName) {
        return;
    }
    FServerName = Value;
    if (FConnected) {
        Reconnect();
    }
}

void TSybConnect::SetUserName(const std::string& Value) {
    if (Value == FUserName) {
        return;
    }
    FUserName = Value;
    if (FConnected) {
        Reconnect();
    }
}

void TSybConnect::SetPassword(const std::string& Value) {
    if (Value == FPassword) {
        return;
    }
    FPassword = Value;
    if (FConnected) {
        Reconnect();
    }
}

void TSybConnect::SetApplicationName(const std::string& Value) {
    if (Value == FApplicationName) {
        return;
    }
    FApplicationName = Value;
    if (FConnected) {
        Reconnect();
    }
}

void TSybConnect::SetDatabase(const std::string& Value) {
    if (Value == FDatabase) {
        return;
    }
    checkDatabaseName(Value);
    // The name changes only once the session is in that database: a switch the server
    // refuses leaves the previous name, the session in it, and later logins working.
    if (FConnected && !host::Trim(Value).empty()) {
        useDatabase(Value);
    }
    FDatabase = Value;
}

void TSybConnect::SetHostName(const std::string& /*Value*/) {}

void TSybConnect::SetDatabaseName(const std::string& Value) {
    if (Value == FDatabaseName) {
        return;
    }
    if (CTLibConnections == nullptr) {
        FDatabaseName = Value;
        return;
    }
    const std::string key = detail::connectionKey(Value);
    host::TThreadListLock lock(*CTLibConnections);
    for (void* item : lock.list()->List()) {
        if (detail::connectionKey(static_cast<TSybConnect*>(item)->FDatabaseName) == key) {
            throw host::Exception("Connection named \"" + host::Trim(Value) + "\" already exists");
        }
    }
    FDatabaseName = Value;
}

} // namespace tovrin
