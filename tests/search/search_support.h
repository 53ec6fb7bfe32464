// Test support for searching: a query over rows given by the test (the shared
// records-without-a-server support, tests/support/FetchFieldSupport.h), and a data link
// that records what a data-aware control or a detail would be told.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Variant.h"
#include "tovrin5/query/SybQuery.h"
#include "tests/support/ExecutionChecks.h"
#include "tests/support/FetchFieldSupport.h"

namespace searchtest {

using namespace tovrin::host;
using namespace tovrin;

using fetchsupport::Column;
using fetchsupport::column;
using fetchsupport::Strings;

/// A query over rows given by the test, with the operations the tests drive.
class RowQuery : public fetchsupport::RowsQuery {
public:
    using RowsQuery::RowsQuery;

    using TDataSet::DataEvent;
    using TDataSet::SetState;
    using TSybDataSet::CurRec;
};

/// Counts what a link hears: whole-record changes (data-set changes and scrolls reach
/// RecordChanged with no field) and the rest by name.
class CountingLink : public TDataLink {
public:
    int recordChanges = 0;
    std::vector<std::string> events;
    void reset() {
        recordChanges = 0;
        events.clear();
    }

protected:
    void RecordChanged(TField* f) override {
        if (!f)
            ++recordChanges;
        events.push_back(f ? "field" : "record");
    }
};

using testsupport::errorOf;

} // namespace searchtest
