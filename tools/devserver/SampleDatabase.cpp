// The sample database's batches, read from SampleDatabase.sql (built into the server, so that
// it needs no file at run time).
#include "SampleDatabase.h"

#include "SampleDatabaseSql.h"

namespace devserver {

namespace {

/// Splits a script at its lines "go"; each batch keeps its line ends.
std::vector<std::string> splitBatches(std::string_view script) {
    std::vector<std::string> batches;
    std::string batch;
    while (!script.empty()) {
        const size_t end = script.find('\n');
        const std::string_view line =
            script.substr(0, end == std::string_view::npos ? script.size() : end + 1);
        script.remove_prefix(line.size());
        if (line == "go\n" || line == "go") {
            batches.push_back(std::move(batch));
            batch.clear();
        } else {
            batch += line;
        }
    }
    if (batch.find_first_not_of(" \t\n") != std::string::npos)
        batches.push_back(std::move(batch));
    return batches;
}

} // namespace

const std::vector<std::string>& sampleDatabaseBatches() {
    static const std::vector<std::string> kBatches = splitBatches(kSampleDatabaseSql);
    return kBatches;
}

} // namespace devserver
