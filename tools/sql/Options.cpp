// Command-line parsing with CLI11. Only the set of options lives here; what each option
// does is the business of the parts that read ToolOptions.
#include "Options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstring>
#include <optional>
#include <string>

namespace tovrin::sqltool {

namespace {

const char* const kDescription =
    "tovrin-sql: runs SQL batches on Adaptive Server through the Tovrin5 components and prints\n"
    "every result: rows, return status, output parameters and server messages.\n"
    "SQL comes from -Q, from a file (-i) or from standard input; batches are ended by a line\n"
    "holding only \"go\". Parameters are :name markers in the SQL, given with --param.";

const char* const kFooter =
    "Password: -P, else the environment variable TOVRIN_PASSWORD, else a prompt without echo\n"
    "on the terminal (none when there is no terminal).\n"
    "Exit codes: 0 success, 1 an error while running SQL (also in an interactive session, and\n"
    "a lost connection), 2 a wrong command line or parameter, 3 the login failed, 4 --locate\n"
    "found no record.\n"
    "Input commands: go [N] ends a batch (run N times), reset drops it, :r FILE reads a file\n"
    "into it, quit or exit ends; on the terminal, vi edits the batch (or the last one) and\n"
    "runs it, !! runs the last batch again, !! COMMAND runs a shell command.\n"
    "Ctrl-C cancels the running batch (and the rest of a :r file) or drops the typed one;\n"
    "in a run from -i, -Q or a pipe it ends the run.\n"
    "Interactive history: ~/.tovrin_sql_history, one entry per batch (batches naming a\n"
    "password are not kept).\n"
    "JSON writes exact numbers (numeric, money, bigint) as strings unless --json-numbers;\n"
    "CSV sends return statuses and output parameters to standard error.";

/// 0 (the client library's default) or a packet size the protocol allows.
CLI::Validator packetSizeCheck() {
    return CLI::Validator(
        [](const std::string& text) -> std::string {
            int size = -1;
            try {
                size = std::stoi(text);
            } catch (const std::exception&) {
            }
            return size == 0 || (size >= 512 && size <= 32767)
                       ? std::string()
                       : "0 or 512 to 32767 expected, not " + text;
        },
        "SIZE");
}

/// Where to connect and how: server, login, database and the session's settings.
void addConnectionOptions(CLI::App& app, ToolOptions& o) {
    app.add_option(
        "-S,--server", o.server,
        "Server name (a section of freetds.conf; FREETDSCONF is honoured); default: $DSQUERY");
    app.add_option("-U,--user", o.user, "Login name");
    app.add_option("-P,--password", o.password, "Password (see below for safer ways)");
    app.add_option("-D,--database", o.database, "Database to use after the login");
    app.add_option("--timeout", o.timeoutSeconds, "Seconds the login and each command may take")
        ->check(CLI::NonNegativeNumber);
    app.add_option("-T,--text-size", o.textSize,
                   "Longest text or image value the server sends, in bytes (0: the server's "
                   "default; 2147483647 if not given)")
        ->check(CLI::Range(0, 2147483647));
    app.add_option("-A,--packet-size", o.packetSize,
                   "Network packet size in bytes, 512 to 32767 (0: the client library's default; "
                   "2048 if not given)")
        ->check(packetSizeCheck());
    app.add_option(
           "-J,--charset", o.charset,
           "Character set of the text exchanged with the server (utf8 if not given; -J alone: "
           "freetds.conf's client charset)")
        ->expected(0, 1);
}

/// Where the SQL comes from and the values of its parameters.
void addInputOptions(CLI::App& app, ToolOptions& o) {
    auto* query =
        app.add_option("-Q,--query", o.query, "SQL text to run (may hold several batches)");
    app.add_option("-i,--input", o.inputFile, "File of SQL batches ended by \"go\"")
        ->excludes(query);
    app.add_option("--param", o.params,
                   "Parameter value: name=value or name:type=value (types int, decimal, float, "
                   "datetime, text, bool, null; 1.25 is an exact decimal, a float needs its "
                   "type); repeatable");
}

/// What is done to each result in memory before it is written: sort, filter, locate.
void addInMemoryOptions(CLI::App& app, ToolOptions& o) {
    app.add_option("--sort", o.sortFields, "Sort each result in memory by these fields: \"f1;f2\"");
    app.add_flag("--desc", o.sortDescending, "Sort from greatest to least");
    app.add_flag("--nocase", o.ignoreCase, "Sort, filter and locate without regard to case");
    app.add_option(
        "--filter", o.filter,
        "Show only rows matching: field op value [and|or|not ...], op one of = <> != < <= > >=, "
        "field like 'pattern', or field is [not] null; texts in single quotes, 'ab*' for texts "
        "beginning ab");
    app.add_option("--locate", o.locate,
                   "Show only the first row where field=value; repeatable for several fields");
}

/// The format and destination of the results; the format's name lands in `format`.
void addOutputOptions(CLI::App& app, ToolOptions& o, std::string& format) {
    app.add_option(
           "-f,--format", format,
           "Output format: table (default on a terminal), csv (RFC 4180, the default otherwise) "
           "or json (JSON lines)")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"table", "csv", "json"}, CLI::ignore_case));
    app.add_option("-o,--output", o.outputFile,
                   "Write the results to this file instead of standard output");
    app.add_flag("--json-numbers", o.jsonNumbers,
                 "JSON: exact decimals (numeric, money, bigint) as bare numbers, not strings");
}

/// How the run goes and what it reports besides the results. Registered after the output
/// options so that the help lists the options in the order users know.
void addRunOptions(CLI::App& app, ToolOptions& o) {
    app.add_option("--app", o.appName, "Application name sent at login");
    app.add_flag("-q,--quiet", o.quiet, "No row counts and no informational messages");
    app.add_flag("-e,--echo", o.echo, "Write each batch before its results");
    app.add_flag("--keep-going", o.keepGoing,
                 "Run the batches after a failed one (a lost connection still ends the run)");
    app.add_option("-h,--headers", o.headerEvery,
                   "Table format: write the column headings again every N rows")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("-V,--version", o.showVersion, "Print the version and exit");
}

/// isql's own options, with their meaning where the tool has one; the others are accepted
/// so that existing command lines run, and do nothing.
void addIsqlOptions(CLI::App& app, ToolOptions& o) {
    app.add_option("-s", o.columnSeparator, "isql: column separator of the table format");
    app.add_option("-w", o.width, "isql: table lines wider than this wrap (default: never)")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("-b", o.noHeaders, "isql: no column headings (table and CSV)");
    app.add_option("-c", o.terminator, "isql: the word that ends a batch instead of go")
        ->check(CLI::Validator(
            [](const std::string& word) {
                return word.empty() || word.find_first_of(" \t") != std::string::npos
                           ? std::string("a word without blanks expected")
                           : std::string();
            },
            "WORD"));
    app.add_option("-t", o.commandTimeout, "isql: seconds each command may take")
        ->check(CLI::NonNegativeNumber);
    app.add_option("-l", o.loginTimeout, "isql: seconds the login may take")
        ->check(CLI::NonNegativeNumber);
    app.add_option(
        "-m", o.errorLevel,
        "isql: messages of a lower severity are not shown (errors still fail the batch)");
    app.add_flag("-n", o.noPrompt, "isql: no numbered prompt");
    app.add_option("-I", o.interfacesFile, "isql: the freetds.conf naming the servers");
    app.add_option("-E", o.editor, "isql: the editor that \"vi\" starts (else $VISUAL, $EDITOR)");
    // Accepted and ignored: FreeTDS negotiates password encryption, the client host name
    // is the machine's, the language and display character set are the server's defaults.
    app.add_flag("-X,-Y,-p", o.ignoredFlags, "isql: accepted and ignored");
    app.add_option("-H,-z,-a,-y", o.ignoredValues, "isql: accepted and ignored (take a value)");
}

/// The text to print for -V or -? anywhere on the command line. A version request needs
/// no server, so this is looked for before CLI11 checks the other options.
std::optional<std::string> versionOrHelpText(int argc, char** argv, const CLI::App& app) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-V") == 0 || std::strcmp(argv[i], "-v") == 0 ||
            std::strcmp(argv[i], "--version") == 0)
            return std::string("tovrin-sql " TOVRIN_SQL_VERSION "\n");
        if (std::strcmp(argv[i], "-?") == 0)
            return app.help();
    }
    return std::nullopt;
}

/// Without -S the server is DSQUERY's; with neither there is nothing to connect to.
void resolveServer(ToolOptions& o, const char* dsquery) {
    if (!o.server.empty())
        return;
    if (dsquery == nullptr || *dsquery == '\0')
        throw UsageError("no server: give -S or set DSQUERY");
    o.server = dsquery;
}

/// The -f name, in any case, as an OutputFormat; none given leaves Automatic.
OutputFormat formatNamed(std::string name) {
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "table")
        return OutputFormat::Table;
    if (name == "csv")
        return OutputFormat::Csv;
    if (name == "json")
        return OutputFormat::Json;
    return OutputFormat::Automatic;
}

} // namespace

ParsedCommandLine parseCommandLine(int argc, char** argv, const char* dsquery) {
    ParsedCommandLine parsed;
    ToolOptions& o = parsed.options;
    CLI::App app{kDescription, "tovrin-sql"};
    app.footer(kFooter);
    app.get_formatter()->column_width(34);
    // -h is isql's "headers"; help is --help (or -?).
    app.set_help_flag("--help", "Print this help and exit (also -?)");
    std::string format;
    addConnectionOptions(app, o);
    addInputOptions(app, o);
    addInMemoryOptions(app, o);
    addOutputOptions(app, o, format);
    addRunOptions(app, o);
    addIsqlOptions(app, o);

    try {
        parsed.exitText = versionOrHelpText(argc, argv, app);
        if (parsed.exitText)
            return parsed;
        app.parse(argc, argv);
        resolveServer(o, dsquery);
        o.format = formatNamed(format);
    } catch (const CLI::CallForHelp&) {
        parsed.exitText = app.help();
        return parsed;
    } catch (const CLI::ParseError& error) {
        // CLI11 quotes the offending argument at most; a password never reaches its texts
        // because -P takes any value without a check.
        throw UsageError(error.what());
    }
    return parsed;
}

void scrubPasswordArgument(int argc, char** argv) noexcept {
    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        char* value = nullptr;
        if ((std::strcmp(arg, "-P") == 0 || std::strcmp(arg, "--password") == 0) && i + 1 < argc) {
            value = argv[++i];
        } else if (std::strncmp(arg, "--password=", 11) == 0) {
            value = arg + 11;
        } else if (std::strncmp(arg, "-P", 2) == 0 && arg[2] != '\0') {
            value = arg + 2;
        }
        if (value != nullptr)
            std::memset(value, 'x', std::strlen(value));
    }
}

} // namespace tovrin::sqltool
