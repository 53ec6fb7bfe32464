// Record layout: slot offsets, record-info area, calculated area, field sizes against the
// host's own formats, wide results, and the buffer a field access reads in each state.
#include <gtest/gtest.h>

#include <cstring>

#include "dataset_support.h"
#include "tovrin5/host/FieldsTyped.h"

namespace dstest {
namespace {

TEST(Layout, ThreeColumnsGiveTheDocumentedOffsets) {
    TestQuery q(nullptr, {{"ID", ftInteger}, {"NAME", ftString, 10}, {"WHEN", ftDateTime}});
    auto* calc = addCalculatedField<TIntegerField>(q, "CALC");
    addField<TIntegerField>(q, "ID");
    addField<TStringField>(q, "NAME", 10);
    addField<TDateTimeField>(q, "WHEN");
    q.AddRow({1, "abc", Variant::makeDate(36526.5)});
    q.Open();

    EXPECT_EQ(q.FieldOffset(1), 0);
    EXPECT_EQ(q.FieldOffset(2), 5);
    EXPECT_EQ(q.FieldOffset(3), 17);
    EXPECT_EQ(q.DataSize(), 26);
    EXPECT_EQ(q.RecordInfoOffset(), 26);
    EXPECT_EQ(q.FieldOffset(0), 34);
    EXPECT_EQ(q.CalcFieldsSize(), 5);
    EXPECT_EQ(q.RecordSize(), 26 + 8 + 5);
    EXPECT_EQ(q.GetRecordSize(), 26);

    // The record number (1-based) at 26 and the bookmark flag at 30 of a display buffer.
    char* active = q.ActiveBuffer();
    int32_t recno;
    std::memcpy(&recno, active + 26, 4);
    EXPECT_EQ(recno, 1);
    EXPECT_EQ(active[30], static_cast<char>(bfCurrent));
    EXPECT_EQ(q.GetFieldPointer(active, calc), active + 34);
    EXPECT_EQ(q.FieldByName("NAME")->AsString(), "abc");
}

TEST(Layout, NoColumnsAndLongStrings) {
    TestQuery empty(nullptr, {});
    empty.Open();
    EXPECT_EQ(empty.DataSize(), 0);
    EXPECT_EQ(empty.RecordInfoOffset(), 0);
    EXPECT_EQ(empty.FieldOffset(0), 8);
    EXPECT_EQ(empty.RecordSize(), 8);

    TestQuery q(nullptr, {{"S", ftString, 255}, {"I", ftInteger}});
    q.Open();
    EXPECT_EQ(q.FieldOffset(2), 257);
    EXPECT_EQ(q.DataSize(), 257 + 5);
}

TEST(Layout, FreshRecordIsAllNullWithoutRecordNumber) {
    TestQuery q(nullptr, {{"A", ftInteger}, {"B", ftString, 3}});
    q.Open();
    char* buffer = q.AllocRecordBuffer();
    std::memset(buffer, 0x5A, static_cast<std::size_t>(q.RecordSize()));
    q.InternalInitRecord(buffer);
    EXPECT_EQ(buffer[q.FieldOffset(1)], 0);
    EXPECT_EQ(buffer[q.FieldOffset(2)], 0);
    EXPECT_EQ(q.recordId(buffer), -1);
    EXPECT_EQ(buffer[q.RecordInfoOffset() + 4], 0);
    q.FreeRecordBuffer(buffer);
    EXPECT_EQ(buffer, nullptr);
}

// The value area of every field type agrees with the size the host's field of that type
// exchanges, so that neither reading into the field's buffer nor writing a calculated
// slot passes the end of either.
TEST(Layout, FieldSizesAgreeWithTheHostsFormats) {
    for (int t = ftUnknown; t < kFieldTypeCount; ++t) {
        auto type = static_cast<TFieldType>(t);
        TFieldClass cls = DefaultFieldClass(type);
        if (!cls) {
            EXPECT_EQ(GetFieldSize(type, 10), 0) << FieldTypeName(type);
            continue;
        }
        for (int size : {1, 2, 20, 255}) {
            TField* f = cls(nullptr);
            if (type == ftString || type == ftFixedChar || type == ftWideString ||
                type == ftBytes || type == ftVarBytes || type == ftBCD || f->IsBlob())
                f->SetSize(size);
            if (auto* sf = dynamic_cast<TStringField*>(f); sf && type == ftFixedChar)
                sf->SetFixedChar(true);
            if (auto* bf = dynamic_cast<TBlobField*>(f))
                bf->SetBlobType(type);
            EXPECT_EQ(GetFieldSize(f->DataType(), f->Size()), f->DataSize())
                << FieldTypeName(type) << " size " << size;
            delete f;
        }
    }
}

// A calculated field of each type with a value class is written and read through its
// slot; the sanitizer build catches any byte written or read past the record.
TEST(Layout, CalculatedFieldsOfEveryTypeStayInsideTheRecord) {
    for (int t = ftString; t < kFieldTypeCount; ++t) {
        auto type = static_cast<TFieldType>(t);
        TFieldClass cls = DefaultFieldClass(type);
        if (!cls)
            continue;
        TestQuery q(nullptr, {{"ID", ftInteger}});
        auto* id = addField<TIntegerField>(q, "ID");
        TField* calc = cls(&q);
        calc->SetFieldName("C");
        calc->SetFieldKind(fkCalculated);
        if (type == ftString || type == ftFixedChar || type == ftWideString || type == ftBytes ||
            type == ftVarBytes || type == ftBCD)
            calc->SetSize(1);
        if (auto* bf = dynamic_cast<TBlobField*>(calc))
            bf->SetBlobType(type);
        calc->SetDataSet(&q);
        // The calculated value is the raw value area full of 0x01 bytes: every byte of
        // the slot is written.
        int calls = 0;
        q.SetOnCalcFields([&](TDataSet*) {
            ++calls;
            std::vector<char> raw(static_cast<std::size_t>(calc->DataSize()), 1);
            if (calc->IsBlob())
                std::fill(raw.begin(), raw.end(), 0); // a null reference
            calc->SetData(raw.data());
        });
        q.AddRow({1});
        q.AddRow({2});
        q.Open();
        ASSERT_GT(calls, 0) << FieldTypeName(type);
        std::vector<char> out(static_cast<std::size_t>(calc->DataSize()) + 1, 0);
        EXPECT_TRUE(calc->GetData(out.data())) << FieldTypeName(type);
        if (!calc->IsBlob()) {
            EXPECT_EQ(out[0], 1) << FieldTypeName(type);
        }
        q.Next();
        EXPECT_EQ(id->AsInteger(), 2);
        q.Close();
    }
}

// Adaptive Server results may have up to 1,024 columns and rows far wider than 64 KiB.
TEST(Layout, WideResultsKeepEveryColumn) {
    std::vector<Column> columns;
    std::vector<Variant> row;
    for (int i = 0; i < 1024; ++i) {
        columns.push_back({"C" + std::to_string(i), ftString, 100});
        row.emplace_back("v" + std::to_string(i));
    }
    TestQuery q(nullptr, columns);
    q.AddRow(row);
    q.Open();
    EXPECT_EQ(q.FetchFieldCount(), 1024);
    EXPECT_EQ(q.DataSize(), 1024 * 102);
    EXPECT_GT(q.DataSize(), 65535);
    EXPECT_EQ(q.FieldOffset(1024), 1023 * 102);
    EXPECT_EQ(q.FieldByName("C0")->AsString(), "v0");
    EXPECT_EQ(q.FieldByName("C300")->AsString(), "v300");
    EXPECT_EQ(q.FieldByName("C1023")->AsString(), "v1023");
    q.Edit();
    q.FieldByName("C1023")->SetAsString("changed");
    q.Post();
    EXPECT_EQ(q.FieldByName("C1023")->AsString(), "changed");
}

TEST(Layout, FetchFieldList) {
    TestQuery q(nullptr, {{"A", ftInteger}, {"B", ftInteger}});
    q.Open();
    EXPECT_EQ(q.GetFetchField(1)->GetName(), "B");
    EXPECT_THROW((void)q.GetFetchField(2), EListError);
    EXPECT_THROW((void)q.GetFetchField(-1), EListError);
    q.Close();
    EXPECT_EQ(q.FetchFieldCount(), 0);

    // A descriptor made without a dataset is nobody's; one destroyed by its creator
    // leaves the list it joined.
    auto* loose = new TestFetchField(nullptr, {"X", ftInteger});
    delete loose;
    auto* listed = new TestFetchField(&q, {"Y", ftInteger});
    EXPECT_EQ(q.FetchFieldCount(), 1);
    delete listed;
    EXPECT_EQ(q.FetchFieldCount(), 0);
}

TEST(Layout, ActiveBufferByState) {
    TestQuery q(nullptr, {{"A", ftInteger}});
    EXPECT_EQ(q.GetActiveRecordBuffer(), nullptr); // inactive
    q.Open();
    EXPECT_TRUE(q.IsEmpty());
    EXPECT_EQ(q.GetActiveRecordBuffer(), nullptr); // browsing nothing
    EXPECT_TRUE(q.FieldByName("A")->IsNull());
    q.Close();

    q.AddRow({7});
    q.Open();
    EXPECT_EQ(q.GetActiveRecordBuffer(), q.ActiveBuffer());
    q.Edit();
    q.FieldByName("A")->SetAsInteger(8);
    // dsOldValue reads the copy taken when the edit began.
    EXPECT_EQ(q.FieldByName("A")->OldValue().AsInteger(), 7);
    q.Post();
    // After the post the edit is pending: dsOldValue reads the values as fetched.
    EXPECT_EQ(q.FieldByName("A")->OldValue().AsInteger(), 7);
    TDataSetState saved = q.SetTempState(dsSetKey);
    EXPECT_EQ(q.GetActiveRecordBuffer(), nullptr);
    q.RestoreState(saved);
}

TEST(RecordStore, HandsOutZeroedBlocksAndKnowsItsOwn) {
    TRecordStore store;
    store.Reset(53);
    char* a = store.Alloc();
    std::memset(a, 0x7F, 53);
    EXPECT_TRUE(store.Release(a));
    char* b = store.Alloc();
    EXPECT_EQ(a, b); // reused
    for (int i = 0; i < 53; ++i)
        ASSERT_EQ(b[i], 0);
    char foreign[53];
    EXPECT_FALSE(store.Release(foreign));
    EXPECT_FALSE(store.Release(nullptr));
    // Many blocks: distinct and inside the store.
    std::vector<char*> blocks;
    for (int i = 0; i < 5000; ++i)
        blocks.push_back(store.Alloc());
    std::sort(blocks.begin(), blocks.end());
    EXPECT_EQ(std::adjacent_find(blocks.begin(), blocks.end()), blocks.end());
    for (char* p : blocks)
        EXPECT_TRUE(store.Release(p));
    store.Reset(0);
}

TEST(RecordStore, BlocksStillOutSurviveAReset) {
    TRecordStore store;
    store.Reset(16);
    char* held = store.Alloc();
    std::memcpy(held, "still mine", 11);
    store.Reset(40); // a new layout while a block is out
    char* fresh = store.Alloc();
    std::memset(fresh, 0x11, 40);
    EXPECT_STREQ(held, "still mine");
    EXPECT_TRUE(store.Release(fresh));
    EXPECT_TRUE(store.Release(held));
    // The last block released is the next handed out, unless it is of the old size.
    EXPECT_EQ(store.Alloc(), fresh);
}

} // namespace
} // namespace dstest
