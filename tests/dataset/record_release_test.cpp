// Giving records back in bulk: a closing dataset drops its stored records without a
// release per block, the store then returns its chunks whole, and large stores are made
// of few large chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "dataset_support.h"

namespace dstest {
namespace {

TEST(RecordStore, DroppedBlocksLetTheNextResetFreeEveryChunk) {
    TRecordStore store;
    store.Reset(53);
    std::vector<char*> blocks;
    for (int i = 0; i < 20000; ++i)
        blocks.push_back(store.Alloc());
    EXPECT_GT(store.Footprint(), std::size_t{20000} * 53);
    char foreign[53];
    EXPECT_FALSE(store.Drop(foreign));
    EXPECT_FALSE(store.Drop(nullptr));
    for (char* p : blocks)
        ASSERT_TRUE(store.Drop(p));
    // Nothing is out any more: the chunks go back to the system instead of being kept
    // for blocks that still seem to be in use (what stays is bookkeeping).
    store.Reset(0);
    EXPECT_LT(store.Footprint(), 1024u);
}

TEST(RecordStore, ABlockStillOutKeepsItsChunkThroughDropsOfTheOthers) {
    TRecordStore store;
    store.Reset(24);
    char* held = store.Alloc();
    std::memcpy(held, "held by someone", 16);
    std::vector<char*> dropped;
    for (int i = 0; i < 1000; ++i)
        dropped.push_back(store.Alloc());
    for (char* p : dropped)
        ASSERT_TRUE(store.Drop(p));
    store.Reset(0);
    EXPECT_GT(store.Footprint(), 0u); // kept for the block still out
    EXPECT_STREQ(held, "held by someone");
    // A block of a retired chunk is still the store's own: dropping it deletes nothing.
    EXPECT_TRUE(store.Drop(held));
}

TEST(RecordStore, AMillionRecordsComeFromFewChunks) {
    // Chunks double up to their largest size whatever addresses the system hands out,
    // so consecutive blocks are adjacent except where a new chunk starts.
    TRecordStore store;
    store.Reset(53);
    char* previous = store.Alloc();
    int chunkStarts = 0;
    for (int i = 1; i < 1000000; ++i) {
        char* block = store.Alloc();
        if (block != previous + 53)
            ++chunkStarts;
        previous = block;
    }
    EXPECT_LT(chunkStarts, 30);
    store.Reset(0);
}

TEST(RecordStore, CloseGivesBackRecordsAndTheirHoldersAndOpenReadsThemAgain) {
    TestQuery q(nullptr, std::vector<Column>{{"N", ftInteger}, {"Note", ftMemo}});
    for (int i = 0; i < 3000; ++i)
        q.AddRow({Variant(i), i % 3 == 0 ? Null() : Variant(std::string(100 + i % 7, 'n'))});
    for (int round = 0; round < 3; ++round) {
        q.Open();
        ASSERT_EQ(q.RecordCount(), 3000);
        q.Last();
        EXPECT_EQ(q.FieldByName("N")->AsInteger(), 2999);
        EXPECT_EQ(q.FieldByName("Note")->AsString(), std::string(100 + 2999 % 7, 'n'));
        q.Close();
        EXPECT_LT(q.StoreFootprint(), 1024u);
    }
}

} // namespace
} // namespace dstest
