// Test helper: a freetds.conf that names several test servers at once, for test programs
// that run more than one development server (or a proxy) and reach each by its section.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

/// A section name and the loopback port of the server it reaches.
using ConfSection = std::pair<std::string, int>;

/// Writes a freetds.conf at `path` with UTF-8 as the client charset and one section per
/// server (host 127.0.0.1, its port, tds version 5.0), and points FREETDSCONF at it.
void writeServerConf(const std::string& path, const std::vector<ConfSection>& sections);

/// Adds a section for one more server to the freetds.conf at `path` and points
/// FREETDSCONF at it.
void appendServerSection(const std::string& path, const ConfSection& section);

} // namespace testsupport
