// Errors of the SQL side, carrying Adaptive Server's message numbers and severities, and
// the mapping of SQLite's error messages onto them.
#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace devserver {

/// An error that ends the statement it occurs in; reported as a server message.
class SqlError : public std::runtime_error {
public:
    SqlError(int number, int severity, const std::string& text, int state = 1)
        : std::runtime_error(text), m_number(number), m_severity(severity), m_state(state) {}
    [[nodiscard]] int number() const noexcept { return m_number; }
    [[nodiscard]] int severity() const noexcept { return m_severity; }
    /// The message's state: which of the places that raise the error raised it.
    [[nodiscard]] int state() const noexcept { return m_state; }

private:
    int m_number;
    int m_severity;
    int m_state;
};

/// Starts the text of a SQL function's error that carries a server error (see
/// functionErrorText).
inline constexpr char kErrorMarker = '\x01';

/// The error text a SQL function reports so that `mapSqliteError` restores `error`.
[[nodiscard]] std::string functionErrorText(const SqlError& error);

/// 102: "Incorrect syntax near '<near>'."
[[nodiscard]] SqlError syntaxError(std::string_view near);
/// 208: "<name> not found. ..."
[[nodiscard]] SqlError objectNotFound(std::string_view name);
/// 137: "Must declare variable '<name>'."
[[nodiscard]] SqlError undeclaredVariable(std::string_view name);
/// Maps the error of a failed SQLite call (code and message of `db`) to a server error.
[[nodiscard]] SqlError sqliteError(sqlite3* db, int rc);
/// Maps a SQLite error code and message text to a server error.
[[nodiscard]] SqlError mapSqliteError(int rc, std::string_view message);

} // namespace devserver
