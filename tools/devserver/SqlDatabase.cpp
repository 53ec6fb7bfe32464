// Databases of the server. Each is a SQLite file in WAL mode, kept open by one connection
// held here: <dir>/<name>.db with a data directory, else (and always for tempdb) a file in a
// scratch directory private to this server, created empty at start and removed at the end.
// WAL is what keeps sessions apart: a reader never waits for a writer nor a writer for a
// reader, so a transaction left open, or a result the client stops reading, holds up
// nobody's reads. Sessions open their own connections, so what one commits the others see.
#include "SqlDatabase.h"

#include "SampleDatabase.h"
#include "SqlErrors.h"
#include "SqlSession.h"

#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <stdlib.h>
#include <unistd.h>

namespace devserver {

namespace {

/// The database of temporary work: always in memory, empty at every start.
constexpr const char* kTempDb = "tempdb";

bool validName(const std::string& name) {
    if (name.empty() || name.size() > 30)
        return false;
    if (!std::isalpha(static_cast<unsigned char>(name[0])) && name[0] != '_')
        return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    return true;
}

std::string percentEncode(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '.' || c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

/// Collects the messages of a batch run while the server starts.
class StartupSink final : public ResultSink {
public:
    void rowFormat(const std::vector<Column>&) override {}
    bool row(const std::vector<Value>&) override { return true; }
    void done(DoneKind, bool, std::optional<int64_t>) override {}
    void message(const ServerMessage& m) override {
        if (m.severity > 10 && errors.empty())
            errors =
                std::to_string(m.number) + ": " + m.text + " (line " + std::to_string(m.line) + ")";
    }
    void returnStatus(int32_t) override {}
    void outputParameters(const std::vector<Column>&, const std::vector<Value>&) override {}
    void databaseChanged(const std::string&, const std::string&) override {}
    bool cancelled() override { return false; }
    std::string errors;
};

/// A new, empty directory for the databases that live only as long as the server: in shared
/// memory where the system has it, else in the temporary directory.
std::string makeScratchDirectory() {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0)
        base = std::filesystem::temp_directory_path(ec);
    std::string pattern = (base / "tovrin-devserver-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a scratch directory under " + base.string());
    return pattern;
}

} // namespace

std::unique_ptr<Database> Database::open(const ServerConfig& config) {
    return std::make_unique<SqlDatabase>(config);
}

SqlDatabase::SqlDatabase(const ServerConfig& config) : m_config(config) {
    m_scratchDir = makeScratchDirectory();
    bool loadSample = config.sample;
    if (!config.dataDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(config.dataDir, ec);
        if (!std::filesystem::is_directory(config.dataDir))
            throw std::runtime_error("cannot use data directory " + config.dataDir);
        for (const auto& entry : std::filesystem::directory_iterator(config.dataDir, ec)) {
            if (entry.path().extension() != ".db")
                continue;
            std::string name = entry.path().stem().string();
            if (validName(name) && lower(name) != kTempDb)
                addDatabase(name);
        }
        if (find("pubs").size())
            loadSample = false;
    }
    if (find("master").empty())
        addDatabase("master");
    addDatabase(kTempDb);
    if (loadSample) {
        if (find("pubs").empty())
            addDatabase("pubs");
        auto session = openSession(LoginInfo{"sa", "", "", "startup"}, 0);
        StartupSink sink;
        session->executeBatch("use pubs", sink);
        for (const std::string& batch : sampleDatabaseBatches()) {
            session->executeBatch(batch, sink);
            if (!sink.errors.empty())
                throw std::runtime_error("cannot create the sample database: " + sink.errors);
        }
    }
}

SqlDatabase::~SqlDatabase() {
    {
        std::lock_guard lock(m_mutex);
        m_databases.clear();
    }
    std::error_code ec;
    std::filesystem::remove_all(m_scratchDir, ec);
}

void SqlDatabase::noteSession(const SessionEntry& entry) {
    if (entry.spid == 0)
        return;
    std::lock_guard lock(m_mutex);
    m_sessions[entry.spid] = entry;
}

void SqlDatabase::forgetSession(int spid) {
    std::lock_guard lock(m_mutex);
    m_sessions.erase(spid);
}

std::vector<SqlDatabase::SessionEntry> SqlDatabase::sessions() const {
    std::lock_guard lock(m_mutex);
    std::vector<SessionEntry> out;
    for (const auto& [spid, entry] : m_sessions)
        out.push_back(entry);
    return out;
}

std::unique_ptr<Session> SqlDatabase::openSession(const LoginInfo& login, int spid) {
    return std::make_unique<SqlSession>(*this, login, spid);
}

bool SqlDatabase::isScratch(const std::string& name) const {
    return m_config.dataDir.empty() || lower(name) == kTempDb;
}

std::string SqlDatabase::makeUri(const std::string& name) const {
    const std::string dir = isScratch(name) ? m_scratchDir : m_config.dataDir;
    std::string path =
        std::filesystem::absolute(std::filesystem::path(dir) / (name + ".db")).string();
    return "file:" + percentEncode(path);
}

void SqlDatabase::addDatabase(const std::string& name) {
    ConnectionHooks hooks;
    hooks.databaseName = name;
    hooks.dateOrder = m_config.dateOrder;
    auto keeper = std::make_unique<SqlConnection>(makeUri(name), hooks);
    keeper->exec("pragma journal_mode=wal");
    if (isScratch(name))
        keeper->exec("pragma synchronous=off");
    keeper->exec(std::string("create table if not exists ") + kProcedureTable +
                 " (name text primary key collate nocase, source text not null)");
    std::lock_guard lock(m_mutex);
    auto& entry = m_databases[lower(name)];
    if (entry.second)
        throw SqlError(1801, 16, "Database '" + entry.first + "' already exists.");
    entry = {name, std::move(keeper)};
}

std::string SqlDatabase::find(const std::string& name) const {
    std::lock_guard lock(m_mutex);
    auto it = m_databases.find(lower(name));
    return it == m_databases.end() ? std::string() : it->second.first;
}

std::string SqlDatabase::uriOf(const std::string& name) const {
    return makeUri(name);
}

void SqlDatabase::createDatabase(const std::string& name) {
    if (!validName(name))
        throw SqlError(2702, 16, "Database name '" + name + "' is not valid.");
    if (!find(name).empty())
        throw SqlError(1801, 16, "Database '" + name + "' already exists.");
    addDatabase(name);
}

std::vector<std::string> SqlDatabase::names() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& [key, entry] : m_databases)
        out.push_back(entry.first);
    return out;
}

} // namespace devserver
