// The tool's run: settings, input, login, batches, exit code.
#include "Tool.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <strings.h>
#include <unistd.h>

#include "Batches.h"
#include "BatchRunner.h"
#include "LineReader.h"
#include "Password.h"
#include "client/Cspublic.h"
#include "client/Ctpublic.h"
#include "query/SybConnect.h"

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
    for (const std::string& argument : o.params)
        p.params.push_back(parseParamSetting(argument));
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

/// The batches of -Q, -i or piped input; nullopt for the terminal (read line by line).
std::optional<std::vector<std::string>> collectBatches(const ToolOptions& o, std::istream& in, bool interactive) {
    if (o.query)
        return splitBatches(*o.query);
    if (o.inputFile) {
        std::ifstream file(*o.inputFile, std::ios::binary);
        if (!file)
            throw UsageError("cannot read '" + *o.inputFile + "': " + std::strerror(errno));
        return splitBatches(readWhole(file));
    }
    if (interactive)
        return std::nullopt;
    return splitBatches(readWhole(in));
}

void checkParameters(const std::vector<ParamSetting>& params, const std::vector<std::string>& batches) {
    std::vector<std::string> markers;
    for (const std::string& batch : batches)
        for (std::string& name : parameterNames(batch))
            markers.push_back(std::move(name));
    for (const ParamSetting& setting : params) {
        bool found = false;
        for (const std::string& marker : markers)
            found = found || strcasecmp(marker.c_str(), setting.name.c_str()) == 0;
        if (!found)
            throw UsageError("unknown parameter '" + setting.name + "': the SQL has no marker :" + setting.name);
    }
}

/// Sets the command timeout of the connection's context (the login timeout is the
/// connection's own property).
void setCommandTimeout(TSybConnect& connection, int seconds) {
    CS_INT value = seconds;
    if (ct_config == nullptr ||
        ct_config(connection.Context(), CS_SET, CS_TIMEOUT, &value, CS_UNUSED, nullptr) != CS_SUCCEED)
        throw std::runtime_error("the command timeout could not be set");
    if (ct_con_props(connection.ConnectionHandle(), CS_SET, CS_TIMEOUT, &value, CS_UNUSED, nullptr) != CS_SUCCEED)
        throw std::runtime_error("the command timeout could not be set on the connection");
}

/// Totals over the batches of a run.
struct RunTotals {
    bool failed = false;
    int rowResults = 0;
    bool sortApplied = false;
    bool filterApplied = false;
    bool locateTried = false;
    bool locateMissed = false;

    void add(const BatchReport& r) {
        failed |= r.failed;
        rowResults += r.rowResults;
        sortApplied |= r.sortApplied;
        filterApplied |= r.filterApplied;
        locateTried |= r.locateTried;
        locateMissed |= r.locateMissed;
    }
};

std::string locateText(const std::vector<LocateKey>& keys) {
    std::string text;
    for (const LocateKey& key : keys)
        text += (text.empty() ? "" : ", ") + key.field + "=" + key.value;
    return text;
}

} // namespace

int runTool(const ToolOptions& o, std::istream& in, std::ostream& out, std::ostream& err) {
    const bool interactive = !o.query && !o.inputFile && &in == &std::cin && isatty(STDIN_FILENO) == 1;
    Prepared prepared;
    std::optional<std::vector<std::string>> batches;
    std::ofstream file;
    try {
        prepared = prepare(o);
        batches = collectBatches(o, in, interactive);
        if (batches)
            checkParameters(prepared.params, *batches);
        if (o.outputFile) {
            file.open(*o.outputFile, std::ios::binary | std::ios::trunc);
            if (!file)
                throw UsageError("cannot write '" + *o.outputFile + "': " + std::strerror(errno));
        }
    } catch (const std::exception& e) {
        err << "tovrin-sql: " << e.what() << std::endl;
        return kExitUsage;
    }
    std::ostream& sink = o.outputFile ? static_cast<std::ostream&>(file) : out;

    OutputFormat format = o.format;
    if (format == OutputFormat::Automatic)
        format = (!o.outputFile && &out == &std::cout && isatty(STDOUT_FILENO) == 1) ? OutputFormat::Table
                                                                                      : OutputFormat::Csv;
    std::unique_ptr<ResultWriter> writer;
    switch (format) {
    case OutputFormat::Csv: writer = makeCsvWriter(sink, err, o.quiet); break;
    case OutputFormat::Json: writer = makeJsonWriter(sink, o.quiet); break;
    default: writer = makeTableWriter(sink, o.quiet); break;
    }

    TSybConnect connection(nullptr);
    connection.SetServerName(o.server);
    connection.SetUserName(o.user);
    connection.SetPassword(resolvePassword(o.password, std::getenv(kPasswordVariable),
                                           [] { return readPasswordFromTerminal("Password: "); }));
    connection.SetDatabase(o.database);
    connection.SetApplicationName(o.appName);
    if (o.timeoutSeconds > 0)
        connection.SetLoginTimeout(o.timeoutSeconds);
    try {
        if (o.packetSize)
            connection.SetPacketSize(*o.packetSize);
        if (o.textSize)
            connection.SetTextSize(*o.textSize);
        connection.Connect();
        if (o.timeoutSeconds > 0)
            setCommandTimeout(connection, o.timeoutSeconds);
    } catch (const std::exception& e) {
        err << "tovrin-sql: cannot log in to '" << o.server << "': " << oneLine(e.what()) << std::endl;
        return kExitLogin;
    }

    Progress progress(true);
    BatchRunner runner(connection, *writer, prepared.work, prepared.params, progress, err);
    RunTotals totals;
    if (batches) {
        for (const std::string& batch : *batches) {
            const BatchReport report = runner.run(batch);
            totals.add(report);
            if (report.failed)
                break; // later batches may depend on this one
        }
    } else {
        auto reader = makeEditLineReader();
        BatchSplitter splitter;
        bool quit = false;
        while (!quit) {
            const auto line = reader->readLine(splitter.pendingLines() + 1);
            if (!line)
                break;
            switch (splitter.addLine(*line)) {
            case BatchSplitter::LineOutcome::BatchReady:
                runner.run(*splitter.takeBatch());
                break;
            case BatchSplitter::LineOutcome::Quit:
                quit = true;
                break;
            default:
                break;
            }
        }
        if (!quit) {
            if (auto rest = splitter.takeBatch())
                runner.run(*rest);
        }
        writer->flush();
        return kExitOk; // errors were shown as they came; the session itself went well
    }
    writer->flush();
    if (o.outputFile) {
        file.close();
        if (!file) {
            err << "tovrin-sql: cannot write '" << *o.outputFile << "'" << std::endl;
            return kExitSqlError;
        }
    }

    if (totals.failed)
        return kExitSqlError;
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
        err << "tovrin-sql: --locate: no record where " << locateText(prepared.work.locate) << std::endl;
        return kExitNotFound;
    }
    return kExitOk;
}

} // namespace tovrin::sqltool
