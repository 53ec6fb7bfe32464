// Endurance: ten thousand open/close cycles of a query (with parameters, two results and a
// receiver) leave the process's descriptors and memory where they were after warming up.
#include <malloc.h>

#include <string>

#include "reliability_support.h"

using namespace reliability;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true; // the sanitizers keep freed memory aside on purpose
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

std::size_t heapInUse() {
    return mallinfo2().uordblks;
}

} // namespace

TEST(Endurance, TenThousandOpenCloseCyclesKeepDescriptorsAndMemoryFlat) {
    auto connection = makeConnection("REL_ENDURANCE");
    auto query =
        makeQuery("REL_ENDURANCE",
                  "select title_id, title, price, pubdate, notes from titles where price > :low\n"
                  "select au_id, au_lname from authors where state = :state");
    auto receiver = std::make_unique<tovrin::TSybQuery>(nullptr);
    receiver->SetMaster(query.get());
    receiver->SetResultSet(1);
    query->ParamByName("low")->SetAsFloat(1.5);
    query->ParamByName("state")->SetAsString("CA");

    int rows = 0;
    auto cycle = [&](int i) {
        query->ParamByName("low")->SetAsFloat(1.5 + (i % 3));
        query->Open();
        rows = query->RecordCount() + receiver->RecordCount();
        query->Close();
    };
    for (int i = 0; i < 300; ++i) {
        cycle(i);
    }
    const int descriptors = openDescriptors();
    const long resident = residentKiB();
    const std::size_t heap = heapInUse();
    for (int i = 0; i < 10000; ++i) {
        cycle(i);
    }
    EXPECT_GT(rows, 0);
    EXPECT_FALSE(query->Active());
    EXPECT_FALSE(receiver->Active());
    EXPECT_EQ(openDescriptors(), descriptors);
    const long residentGrowth = residentKiB() - resident;
    const long heapGrowth = static_cast<long>(heapInUse()) - static_cast<long>(heap);
    RecordProperty("resident_growth_kib", static_cast<int>(residentGrowth));
    RecordProperty("heap_growth_bytes", static_cast<int>(heapGrowth));
    if (!kSanitized) {
        // A leak of even 100 bytes a cycle would be a megabyte here.
        EXPECT_LT(heapGrowth, 256 * 1024);
        EXPECT_LT(residentGrowth, 2048);
    }
    receiver->SetMaster(nullptr);
}
