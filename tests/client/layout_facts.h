// A named number, so that two translation units that cannot include each other's headers
// can compare declarations.
#pragma once

#include <string>
#include <vector>

namespace layoutcheck {

struct Fact {
    std::string name;
    long long value;
};

/// The facts as FreeTDS's headers state them.
std::vector<Fact> freetdsFacts();
/// The same facts as the package declares them.
std::vector<Fact> packageFacts();

} // namespace layoutcheck
