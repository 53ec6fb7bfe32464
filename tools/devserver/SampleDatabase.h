// The sample database `pubs`: publishers, authors, titles, title authors and sales, with
// stored procedures, created when the server starts with --sample.
#pragma once

#include <string>
#include <vector>

namespace devserver {

/// The batches that create the sample database's tables, rows and procedures, in order
/// (run in `pubs`; each procedure is a batch of its own).
[[nodiscard]] const std::vector<std::string>& sampleDatabaseBatches();

} // namespace devserver
