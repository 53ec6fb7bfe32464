// Where the password comes from: the command line, the environment variable
// TOVRIN_PASSWORD, or a prompt on the terminal without echo. The password is never
// printed, logged or put into a message.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tovrin::sqltool {

/// The environment variable read when -P is not given.
inline constexpr const char* kPasswordVariable = "TOVRIN_PASSWORD";

/// Asks for a password; nullopt when there is no terminal to ask on.
using PasswordPrompt = std::function<std::optional<std::string>()>;

/// The password to log in with: `given` when present, else `environmentValue` when not
/// null, else what `prompt` answers, else an empty password.
[[nodiscard]] std::string resolvePassword(const std::optional<std::string>& given,
                                          const char* environmentValue,
                                          const PasswordPrompt& prompt);

/// Reads one line from the controlling terminal (/dev/tty) with echo switched off, after
/// writing `promptText` there. The terminal's settings are restored also when reading
/// fails. nullopt when the process has no terminal.
[[nodiscard]] std::optional<std::string> readPasswordFromTerminal(const std::string& promptText);

} // namespace tovrin::sqltool
