// Every record size, field offset, constant and datatype code the package declares, compared
// with FreeTDS's headers (when they are installed).
#if defined(TOVRIN_HAVE_FREETDS_HEADERS)

#include <gtest/gtest.h>

#include <cstddef>
#include <map>

#include "tovrin5/client/Cspublic.h"
#include "tovrin5/client/Ctpublic.h"
#include "client/layout_facts.h"

namespace layoutcheck {

using namespace tovrin;

#define FACT(name, value)                                                                          \
    { name, static_cast<long long>(value) }
#define SIZE(type) FACT("sizeof " #type, sizeof(type))
#define OFFSET(type, field) FACT("offsetof " #type "." #field, offsetof(type, field))
#define CONSTANT(name) FACT(#name, name)

std::vector<Fact> packageFacts() {
    return {
#include "client/layout_list.inc"
        FACT("version passed to cs_ctx_alloc", CS_VERSION_110),
    };
}

} // namespace layoutcheck

namespace {

TEST(BindingLayout, MatchesFreeTdsHeaders) {
    const auto theirs = layoutcheck::freetdsFacts();
    const auto ours = layoutcheck::packageFacts();
    ASSERT_EQ(theirs.size(), ours.size());
    for (std::size_t i = 0; i < ours.size(); ++i) {
        ASSERT_EQ(theirs[i].name, ours[i].name);
        EXPECT_EQ(ours[i].value, theirs[i].value) << ours[i].name;
    }
}

TEST(BindingLayout, ColumnFormatHasThePlatformSize) {
    // 132 name bytes, nine 32-bit integers, then a pointer aligned to its own size.
    const std::size_t expected = sizeof(void*) == 8 ? 176u : 172u;
    EXPECT_EQ(sizeof(tovrin::CS_DATAFMT), expected);
    EXPECT_EQ(offsetof(tovrin::CS_DATAFMT, locale), expected - sizeof(void*));
    EXPECT_EQ(sizeof(tovrin::CS_CAP_TYPE), 16u);
}

} // namespace

#endif
