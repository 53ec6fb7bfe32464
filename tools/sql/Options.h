// The command line of tovrin-sql: what the user asked for, parsed with CLI11.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tovrin::sqltool {

/// How rows are written: an aligned table, CSV (RFC 4180) or JSON lines. Automatic is a
/// table when the output is a terminal and CSV otherwise.
enum class OutputFormat { Automatic, Table, Csv, Json };

/// Everything the command line can say.
struct ToolOptions {
    std::string server;                  ///< -S: a server name of freetds.conf (else DSQUERY)
    std::string user;                    ///< -U
    std::optional<std::string> password; ///< -P (else the environment or a prompt)
    std::string database;                ///< -D
    int timeoutSeconds = 0;              ///< --timeout: login and each command; 0 = none
    std::optional<int> packetSize;      ///< -A: network packet size (else the connection's default)
    std::optional<std::string> charset; ///< -J: client character set ("" leaves it to freetds.conf)
    std::optional<int>
        textSize; ///< -T: longest text/image value the server sends (else the connection's default)
    std::optional<std::string> query;     ///< -Q: the SQL to run
    std::optional<std::string> inputFile; ///< -i: a file of batches ended by "go"
    std::vector<std::string> params;      ///< --param name=value or name:type=value
    std::string sortFields;               ///< --sort "f1;f2"
    bool sortDescending = false;          ///< --desc
    bool ignoreCase = false;         ///< --nocase: sort, filter and locate without regard to case
    std::string filter;              ///< --filter expression
    std::vector<std::string> locate; ///< --locate field=value (repeatable)
    OutputFormat format = OutputFormat::Automatic;
    std::optional<std::string> outputFile; ///< -o
    std::string appName = "tovrin-sql";
    bool quiet = false;     ///< -q: no row counts or messages of severity 0
    bool echo = false;      ///< -e: write each batch before its results
    bool keepGoing = false; ///< --keep-going: run the batches after a failed one
    int headerEvery = 0;    ///< -h: table headings again every n rows (0: once)
    bool showVersion = false;
    bool jsonNumbers = false; ///< --json-numbers: exact decimals as bare JSON numbers

    // isql's own options.
    std::optional<std::string> columnSeparator; ///< -s: between the columns of a table
    int width = 0;                              ///< -w: table lines wrap at this width (0: never)
    bool noHeaders = false;                     ///< -b: no column headings
    std::string terminator = "go";              ///< -c: the word that ends a batch
    std::optional<int> commandTimeout;          ///< -t: seconds each command may take
    std::optional<int> loginTimeout;            ///< -l: seconds the login may take
    std::optional<int> errorLevel;              ///< -m: messages below this severity not shown
    bool noPrompt = false;                      ///< -n: no numbered prompt
    std::optional<std::string> interfacesFile;  ///< -I: the freetds.conf to read
    std::string editor;                         ///< -E: the editor of "vi"
    std::vector<std::string> ignoredValues;     ///< -H -z -a -y: accepted, no effect here
    int ignoredFlags = 0;                       ///< -X -Y -p: accepted, no effect here
};

/// A command line that cannot be used; the text names the option and the problem.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The result of parsing: the options, or a text to print and an exit code (help and
/// version texts exit 0).
struct ParsedCommandLine {
    ToolOptions options;
    std::optional<std::string> exitText;
    int exitCode = 0;
};

/// Parses the arguments. Without -S the server is the value of DSQUERY (`dsquery`, null
/// when unset). Raises UsageError for a command line that cannot be used.
ParsedCommandLine parseCommandLine(int argc, char** argv, const char* dsquery = nullptr);

/// Overwrites the value of -P/--password in argv, so that the password does not stay
/// readable in the process's command line (ps, /proc/<pid>/cmdline).
void scrubPasswordArgument(int argc, char** argv) noexcept;

} // namespace tovrin::sqltool
