// The tool as a whole: reads the input, logs in, runs every batch and returns the exit
// code. Separate from main() so that the parts can be driven from tests.
#pragma once

#include <iosfwd>

#include "Options.h"

namespace tovrin::sqltool {

/// Exit codes of tovrin-sql.
enum ExitCode : int {
    kExitOk = 0,
    kExitSqlError = 1, ///< a batch failed (server error, lost connection, timeout)
    kExitUsage = 2,    ///< a wrong command line, parameter, filter or field name
    kExitLogin = 3,    ///< the login failed
    kExitNotFound = 4, ///< --locate found no record
};

/// Runs the tool with parsed options. SQL comes from -Q, -i or `in` (line-edited when
/// `in` is the terminal); results go to `out` unless -o names a file; errors and notes
/// go to `err`.
int runTool(const ToolOptions& options, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace tovrin::sqltool
