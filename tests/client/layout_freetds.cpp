// Facts about FreeTDS's own declarations (sizes, offsets, constants), taken in a file that
// includes only FreeTDS's headers, so that its macros never meet the package's names.
#if defined(TOVRIN_HAVE_FREETDS_HEADERS)

#include <ctpublic.h>

#include <cstddef>

#include "client/layout_facts.h"

#define FACT(name, value)                                                                          \
    { name, static_cast<long long>(value) }
#define SIZE(type) FACT("sizeof " #type, sizeof(type))
#define OFFSET(type, field) FACT("offsetof " #type "." #field, offsetof(type, field))
#define CONSTANT(name) FACT(#name, name)

namespace layoutcheck {

std::vector<Fact> freetdsFacts() {
    return {
#include "client/layout_list.inc"
        // FreeTDS calls 112 CS_VERSION_100; the package passes 112 as CS_VERSION_110.
        FACT("version passed to cs_ctx_alloc", CS_VERSION_100),
    };
}

} // namespace layoutcheck

#endif
