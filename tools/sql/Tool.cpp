// The tool's run: settings, input, login, batches, exit code.
#include "Tool.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <strings.h>
#include <unistd.h>

#include "BatchRunner.h"
#include "BatchSource.h"
#include "Batches.h"
#include "CancelWatch.h"
#include "LineReader.h"
#include "Password.h"
#include <tovrin5/host/Params.h>
#include <tovrin5/host/DataSet.h>
#include <tovrin5/host/Fields.h>
#include <tovrin5/query/SybConnect.h>
#include <tovrin5/query/SybQuery.h>

namespace tovrin::sqltool {

namespace {

/// Settings read from the options before anything is sent.
struct Prepared {
    std::vector<ParamSetting> params;
    std::unique_ptr<RowFilter> filter;
    InMemoryWork work;
};

Prepared prepare(const ToolOptions& o) {
    Prepared p;
    for (const std::string& argument : o.params) {
        ParamSetting setting = parseParamSetting(argument);
        // A value that does not fit its type is a usage error now, not in the middle of
        // the run.
        host::TParams scratch;
        assignParam(*scratch.CreateParam(host::ftUnknown, setting.name, host::ptInput), setting);
        p.params.push_back(std::move(setting));
    }
    if (!o.filter.empty())
        p.filter = std::make_unique<RowFilter>(o.filter, o.ignoreCase);
    p.work.sortFields = o.sortFields;
    p.work.descending = o.sortDescending;
    p.work.ignoreCase = o.ignoreCase;
    p.work.filter = p.filter.get();
    for (const std::string& argument : o.locate)
        p.work.locate.push_back(parseLocateKey(argument));
    return p;
}

std::string readWhole(std::istream& in) {
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool sameName(const std::string& a, const std::string& b) {
    return strcasecmp(a.c_str(), b.c_str()) == 0;
}

/// Refuses --param names that no marker of the input uses, and markers that no --param
/// gives a value (they would go to the server as NULL).
void checkParameters(const std::vector<ParamSetting>& params,
                     const std::vector<std::string>& batches) {
    std::vector<std::string> markers;
    for (const std::string& batch : batches)
        for (std::string& name : parameterNames(batch))
            markers.push_back(std::move(name));
    for (const ParamSetting& setting : params) {
        bool found = false;
        for (const std::string& marker : markers)
            found = found || sameName(marker, setting.name);
        if (!found)
            throw UsageError("unknown parameter '" + setting.name +
                             "': the SQL has no marker :" + setting.name);
    }
    for (const std::string& marker : markers) {
        bool given = false;
        for (const ParamSetting& setting : params)
            given = given || sameName(marker, setting.name);
        if (!given)
            throw UsageError("parameter :" + marker + " has no value: give it with --param " +
                             marker + "=value (--param " + marker + ":null= for NULL)");
    }
}

/// Totals over the batches of a run.
struct RunTotals {
    bool failed = false;
    int rowResults = 0;
    bool sortApplied = false;
    bool filterApplied = false;
    bool locateTried = false;
    bool locateMissed = false;
    std::vector<std::string> unusedParams; ///< --param names no batch had a marker for

    void add(const BatchReport& r) {
        failed |= r.failed;
        rowResults += r.rowResults;
        sortApplied |= r.sortApplied;
        filterApplied |= r.filterApplied;
        locateTried |= r.locateTried;
        locateMissed |= r.locateMissed;
        if (r.paramsApplied) {
            std::vector<std::string> still;
            for (const std::string& name : unusedParams)
                for (const std::string& unmatched : r.unmatchedParams)
                    if (sameName(name, unmatched)) {
                        still.push_back(name);
                        break;
                    }
            unusedParams = std::move(still);
        }
    }
};

std::string locateText(const std::vector<LocateKey>& keys) {
    std::string text;
    for (const LocateKey& key : keys)
        text += (text.empty() ? "" : ", ") + key.field + "=" + key.value;
    return text;
}

/// The history file of interactive sessions: ~/.tovrin_sql_history (none without HOME).
std::string historyPath() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::string(home) + "/.tovrin_sql_history"
                                            : std::string();
}

/// The database the session is in now.
std::string currentDatabase(TSybConnect& connection) {
    TSybQuery query(nullptr);
    query.SetDatabaseName(connection.DatabaseName());
    query.SQL()->SetText("select db_name()");
    query.Open();
    return query.Fields()[0]->AsString();
}

/// Reads what the options name before anything is sent: the parameters and the in-memory
/// work, the text of -Q or -i (whose parameters are checked against its batches), and opens
/// the -o file. False (with the reason written) on a usage error.
bool prepareRun(const ToolOptions& o, Prepared& prepared, std::string& wholeText,
                std::ofstream& file, std::ostream& err) {
    try {
        prepared = prepare(o);
        if (o.query) {
            wholeText = *o.query;
        } else if (o.inputFile) {
            std::ifstream input(*o.inputFile, std::ios::binary);
            if (!input)
                throw UsageError("cannot read '" + *o.inputFile + "': " + std::strerror(errno));
            wholeText = readWhole(input);
        }
        if (wholeText.compare(0, 3, "\xEF\xBB\xBF") == 0)
            wholeText.erase(0, 3); // a byte-order mark is not SQL
        if (o.query || o.inputFile)
            checkParameters(prepared.params, splitBatches(wholeText, o.terminator));
        if (o.interfacesFile) {
            if (access(o.interfacesFile->c_str(), R_OK) != 0)
                throw UsageError("-I: cannot read '" + *o.interfacesFile +
                                 "': " + std::strerror(errno));
            // FreeTDS reads the servers from this file instead of the usual freetds.conf.
            setenv("FREETDSCONF", o.interfacesFile->c_str(), 1);
        }
        if (o.outputFile) {
            file.open(*o.outputFile, std::ios::binary | std::ios::trunc);
            if (!file)
                throw UsageError("cannot write '" + *o.outputFile + "': " + std::strerror(errno));
        }
    } catch (const std::exception& e) {
        err << "tovrin-sql: " << e.what() << std::endl;
        return false;
    }
    return true;
}

/// The writer of the chosen format; without one, a table on a terminal and CSV elsewhere.
std::unique_ptr<ResultWriter> makeWriter(const ToolOptions& o, const InMemoryWork& work,
                                         std::ostream& sink, std::ostream& out, std::ostream& err) {
    OutputFormat format = o.format;
    if (format == OutputFormat::Automatic)
        format = (!o.outputFile && &out == &std::cout && isatty(STDOUT_FILENO) == 1)
                     ? OutputFormat::Table
                     : OutputFormat::Csv;
    // Rows stream to the output unless a result must be whole first (sort, filter, locate).
    const bool streamed = work.sortFields.empty() && work.filter == nullptr && work.locate.empty();
    switch (format) {
    case OutputFormat::Csv:
        return makeCsvWriter(sink, err, o.quiet, !o.noHeaders);
    case OutputFormat::Json:
        return makeJsonWriter(sink, o.quiet, o.jsonNumbers);
    default:
        break;
    }
    TableStyle style;
    style.quiet = o.quiet;
    style.streamed = streamed;
    style.headerEvery = o.headerEvery;
    style.headers = !o.noHeaders;
    style.width = o.width;
    if (o.columnSeparator)
        style.separator = *o.columnSeparator;
    return makeTableWriter(sink, style);
}

/// Sets up the connection from the options and logs in. False (with the reason written)
/// when the login fails; the server's messages of the login read as every other server error.
bool logIn(TSybConnect& connection, const ToolOptions& o, std::ostream& err) {
    connection.SetServerName(o.server);
    connection.SetUserName(o.user);
    connection.SetPassword(resolvePassword(o.password, std::getenv(kPasswordVariable),
                                           [] { return readPasswordFromTerminal("Password: "); }));
    connection.SetDatabase(o.database);
    connection.SetApplicationName(o.appName);
    const int loginTimeout = o.loginTimeout.value_or(o.timeoutSeconds);
    const int commandTimeout = o.commandTimeout.value_or(o.timeoutSeconds);
    if (loginTimeout > 0)
        connection.SetLoginTimeout(loginTimeout);
    // The connection ends a command that outlasts it, also one whose server stopped
    // answering.
    if (commandTimeout > 0)
        connection.SetCommandTimeout(commandTimeout);
    std::vector<ServerNote> loginErrors;
    connection.SetOnServerError([&loginErrors](const TSybMessage* message, bool&) {
        ServerNote note{static_cast<int>(message->MsgNumber()),
                        static_cast<int>(message->Severity()), message->Text()};
        note.state = message->State();
        note.line = message->Line();
        note.server = message->ServerName();
        loginErrors.push_back(std::move(note));
    });
    try {
        if (o.packetSize)
            connection.SetPacketSize(*o.packetSize);
        if (o.charset)
            connection.SetClientCharset(*o.charset);
        if (o.textSize)
            connection.SetTextSize(*o.textSize);
        connection.Connect();
    } catch (const std::exception& e) {
        err << "tovrin-sql: cannot log in to '" << o.server << "'";
        if (loginErrors.empty()) {
            err << ": " << oneLine(e.what()) << std::endl;
        } else {
            err << ":\n";
            for (const ServerNote& note : loginErrors)
                err << isqlMessage(note);
            err.flush();
        }
        return false;
    }
    connection.SetOnServerError(nullptr);
    return true;
}

/// Logs in again after the session was lost (`lead` starts what is said): true when
/// logged in.
bool logInAgain(TSybConnect& connection, const char* lead, const char* failedTail,
                std::ostream& err) {
    try {
        connection.Connect();
        err << "tovrin-sql: " << lead << "logged in again: any open transaction was rolled "
            << "back, database is now " << currentDatabase(connection) << std::endl;
        return true;
    } catch (const std::exception& e) {
        err << "tovrin-sql: " << lead << "the new login failed: " << oneLine(e.what()) << failedTail
            << std::endl;
        return false;
    }
}

/// The server ended the session (or the command timed out): whatever the session had (a
/// transaction, the database in use) is gone. A file or pipe run stops (false); an
/// interactive session logs in again, and when that fails stays at the prompt and tries
/// again at the next batch (`loggedIn` false).
bool recoverLostSession(TSybConnect& connection, ResultWriter& writer, bool interactive,
                        bool& loggedIn, std::ostream& err) {
    writer.flush();
    if (!interactive) {
        const std::string text =
            "connection lost: the run stops; any open transaction was rolled back";
        if (!writer.writeFailure(text))
            err << "tovrin-sql: " << text << std::endl;
        return false;
    }
    loggedIn = logInAgain(connection, "connection lost; ",
                          "; the session stays, the next go logs in again", err);
    return true;
}

/// The exit status once every batch ran: a failure first, then an option that no result
/// could apply (a misspelt field name), then a locate that found nothing.
int exitStatus(const ToolOptions& o, const Prepared& prepared, const RunTotals& totals, bool failed,
               std::ostream& err) {
    if (totals.failed || failed)
        return kExitSqlError;
    if (!totals.unusedParams.empty()) {
        err << "tovrin-sql: unknown parameter '" << totals.unusedParams.front()
            << "': no batch has the marker :" << totals.unusedParams.front() << std::endl;
        return kExitUsage;
    }
    if (totals.rowResults > 0) {
        if (!o.sortFields.empty() && !totals.sortApplied) {
            err << "tovrin-sql: --sort: no result has the field(s) " << o.sortFields << std::endl;
            return kExitUsage;
        }
        if (prepared.filter && !totals.filterApplied) {
            err << "tovrin-sql: --filter: no result has the fields it names" << std::endl;
            return kExitUsage;
        }
        if (!prepared.work.locate.empty() && !totals.locateTried) {
            err << "tovrin-sql: --locate: no result has the field(s) it names" << std::endl;
            return kExitUsage;
        }
    }
    if (totals.locateMissed) {
        err << "tovrin-sql: --locate: no record where " << locateText(prepared.work.locate)
            << std::endl;
        return kExitNotFound;
    }
    return kExitOk;
}

SourceSettings sourceSettings(const ToolOptions& o, bool interactive) {
    SourceSettings settings;
    settings.interactive = interactive;
    settings.located = !interactive && !o.query;
    settings.keepGoing = o.keepGoing;
    settings.terminator = o.terminator;
    settings.editor = o.editor;
    return settings;
}

} // namespace

int runTool(const ToolOptions& o, std::istream& in, std::ostream& out, std::ostream& err) {
    const bool interactive =
        !o.query && !o.inputFile && &in == &std::cin && isatty(STDIN_FILENO) == 1;
    Prepared prepared;
    std::string wholeText; // -Q or -i
    std::ofstream file;
    if (!prepareRun(o, prepared, wholeText, file, err))
        return kExitUsage;
    std::ostream& sink = o.outputFile ? static_cast<std::ostream&>(file) : out;
    std::unique_ptr<ResultWriter> writer = makeWriter(o, prepared.work, sink, out, err);

    TSybConnect connection(nullptr);
    if (!logIn(connection, o, err))
        return kExitLogin;

    // Ctrl-C cancels the running batch, stops the writing of a held result and, in a
    // file or pipe run, ends the run.
    auto cancel = std::make_unique<CancelWatch>();
    writer->setStopCheck([watch = cancel.get()] { return watch->cancelRequested(); });
    Progress progress(true);
    BatchRunner runner(connection, *writer, prepared.work, prepared.params, progress, err,
                       cancel.get());
    runner.setEcho(o.echo);
    runner.setRowsOnTerminal(!o.outputFile && &out == &std::cout && isatty(STDOUT_FILENO) == 1);
    if (o.errorLevel)
        runner.setLeastSeverityShown(*o.errorLevel);

    std::istringstream textInput(wholeText);
    std::unique_ptr<LineReader> lines;
    if (interactive) {
        // With the results going elsewhere, the prompt still shows on the terminal.
        lines = makeEditLineReader(historyPath(), cancel->promptDescriptor(),
                                   isatty(STDOUT_FILENO) != 1, !o.noPrompt);
    } else {
        lines =
            makeStreamReader(o.query || o.inputFile ? static_cast<std::istream&>(textInput) : in);
    }
    BatchSource source(*lines, sourceSettings(o, interactive),
                       [watch = cancel.get()] { return watch->takePromptInterrupt(); });

    RunTotals totals;
    if (!o.query && !o.inputFile)
        for (const ParamSetting& setting : prepared.params)
            totals.unusedParams.push_back(setting.name);
    bool lost = false;
    bool stopped = false;
    bool loggedIn = true;
    while (auto batch = source.next(err)) {
        if (!loggedIn) {
            loggedIn = logInAgain(connection, "not connected; ",
                                  "; the batch was not sent, the next go tries again", err);
            if (!loggedIn)
                continue;
        }
        const BatchReport report = runner.run(*batch);
        totals.add(report);
        if (!connection.Connected()) {
            lost = true;
            if (!recoverLostSession(connection, *writer, interactive, loggedIn, err))
                break;
            continue;
        }
        if (report.outputFailed)
            return kExitSqlError; // said when the write failed
        if (!sink) {
            err << "tovrin-sql: cannot write the results: " << std::strerror(errno ? errno : EIO)
                << std::endl;
            return kExitSqlError;
        }
        if (report.cancelled && !interactive) {
            err << "tovrin-sql: interrupted: the run stops" << std::endl;
            stopped = true;
            break;
        }
        if (report.cancelled)
            source.dropFiles(err); // the rest of a script is not wanted either
        if (report.failed && !interactive && !o.keepGoing)
            break; // later batches may depend on this one
    }
    lines.reset(); // trims the history
    writer->setStopCheck(nullptr);
    cancel.reset();
    writer->flush();
    if (o.outputFile) {
        file.close();
        if (!file) {
            err << "tovrin-sql: cannot write '" << *o.outputFile << "'" << std::endl;
            return kExitSqlError;
        }
    } else if (!out) {
        err << "tovrin-sql: cannot write the results: " << std::strerror(errno ? errno : EIO)
            << std::endl;
        return kExitSqlError;
    }
    const bool failed = lost || stopped || source.failedRead() || source.stopped();
    return exitStatus(o, prepared, totals, failed, err);
}

} // namespace tovrin::sqltool
