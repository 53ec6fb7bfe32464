// The server names the connection form offers: the sections of FreeTDS's freetds.conf.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace tovrin::browse {

/// The file FreeTDS reads: $FREETDSCONF when set, else ~/.freetds.conf when it exists,
/// else /etc/freetds/freetds.conf.
[[nodiscard]] std::string freetdsConfPath();

/// The section names of a freetds.conf, in file order, without [global] and without
/// repeats (a name FreeTDS would look up case-insensitively is listed once).
[[nodiscard]] std::vector<std::string> serverNames(std::istream& conf);
/// The server names of the file at path (none when it cannot be read).
[[nodiscard]] std::vector<std::string> serverNamesIn(const std::string& path);

} // namespace tovrin::browse
