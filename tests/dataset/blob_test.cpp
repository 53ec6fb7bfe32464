// Blob values: holders, streams in each mode, their checks, and values written during an
// edit that Cancel undoes. The sanitizer build's leak check covers every holder made here.
#include <gtest/gtest.h>

#include "dataset_support.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/host/Runtime.h"

namespace dstest {
namespace {

std::string readAll(TStream& s) {
    std::string out(static_cast<std::size_t>(s.Size()), '\0');
    s.SetPosition(0);
    if (!out.empty())
        s.ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
    return out;
}

std::unique_ptr<TestQuery> notes() {
    auto q = std::make_unique<TestQuery>(
        nullptr, std::vector<Column>{{"Id", ftInteger}, {"Note", ftMemo}, {"Pic", ftBlob}});
    q->AddRow({1, "first note", Variant(std::string("\x00\x01\x02", 3))});
    q->AddRow({2, Null(), Null()});
    q->AddRow({3, "third", "img"});
    return q;
}

void write(TDataSet& ds, const std::string& field, const std::string& value,
           TBlobStreamMode mode = bmWrite) {
    auto s = ds.CreateBlobStream(ds.FieldByName(field), mode);
    if (!value.empty())
        s->WriteBuffer(value.data(), static_cast<int64_t>(value.size()));
}

TEST(Blob, HolderAndStreamRoundTrip) {
    TBTBlob blob;
    EXPECT_EQ(blob.Size(), 0);
    TMemoryStream in;
    in.WriteBuffer("hello", 5);
    blob.LoadFromStream(&in); // whole content, whatever the position
    EXPECT_EQ(blob.Value(), "hello");
    TMemoryStream out;
    out.WriteBuffer("previous content", 16);
    blob.SaveToStream(&out);
    EXPECT_EQ(out.Size(), 5);
    EXPECT_EQ(out.Position(), 0);
    EXPECT_EQ(readAll(out), "hello");
}

TEST(Blob, ReadingFetchedAndNullValues) {
    auto q = notes();
    q->Open();
    EXPECT_EQ(readAll(*q->CreateBlobStream(q->FieldByName("Pic"), bmRead)),
              std::string("\x00\x01\x02", 3));
    EXPECT_EQ(q->FieldByName("Note")->AsString(), "first note");
    q->Next();
    auto s = q->CreateBlobStream(q->FieldByName("Note"), bmRead);
    EXPECT_EQ(s->Size(), 0);
    EXPECT_TRUE(q->FieldByName("Note")->IsNull());
    EXPECT_THROW(q->CreateBlobStream(q->FieldByName("Id"), bmRead), EInvalidCast);
}

TEST(Blob, WritingInAnEditStoresOnPost) {
    auto q = notes();
    q->Open();
    int changes = 0;
    q->FieldByName("Note")->SetOnChange([&](TField*) { ++changes; });
    q->Edit();
    write(*q, "Note", "0123456789");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(static_cast<TBlobField*>(q->FieldByName("Note"))->Modified());
    EXPECT_EQ(q->StoredBlob(0, q->FieldByName("Note")), "first note"); // not before Post
    q->Post();
    EXPECT_EQ(q->StoredBlob(0, q->FieldByName("Note")), "0123456789");
    EXPECT_EQ(q->FieldByName("Note")->AsString(), "0123456789");

    // Writing nothing makes the value null.
    q->Edit();
    write(*q, "Note", "");
    q->Post();
    EXPECT_TRUE(q->FieldByName("Note")->IsNull());
    EXPECT_EQ(q->StoredBlob(0, q->FieldByName("Note")), "<null>");

    // A null value gets a value.
    q->Next();
    q->Edit();
    write(*q, "Pic", "new");
    q->Post();
    EXPECT_EQ(q->StoredBlob(1, q->FieldByName("Pic")), "new");
}

TEST(Blob, CancelRestoresTheOldValue) {
    auto q = notes();
    q->Open();
    q->Edit();
    write(*q, "Note", "overwritten");
    EXPECT_EQ(q->FieldByName("Note")->AsString(), "overwritten");
    EXPECT_EQ(q->FieldByName("Note")->OldValue().AsString(), "first note");
    q->Cancel();
    EXPECT_EQ(q->FieldByName("Note")->AsString(), "first note");
    EXPECT_EQ(q->StoredBlob(0, q->FieldByName("Note")), "first note");

    // The same for a value that was null, and for an inserted record.
    q->Next();
    q->Edit();
    write(*q, "Note", "was null");
    q->Cancel();
    EXPECT_TRUE(q->FieldByName("Note")->IsNull());
    q->Insert();
    write(*q, "Note", "never stored");
    q->Cancel();
    EXPECT_EQ(q->RecordCount(), 3);
}

TEST(Blob, StreamChecks) {
    auto q = notes();
    q->Open();
    EXPECT_THROW(write(*q, "Note", "x"), EDatabaseError); // browsing
    EXPECT_NO_THROW((void)q->CreateBlobStream(q->FieldByName("Note"), bmRead));
    q->FieldByName("Note")->SetReadOnly(true);
    q->Edit();
    EXPECT_THROW(write(*q, "Note", "x"), EDatabaseError);
    EXPECT_NO_THROW(write(*q, "Pic", "fine"));
    q->Post();
    q->FieldByName("Note")->SetReadOnly(false);

    // Writes to a read stream are not stored; a read-write stream stores them, but its
    // initial load is no change.
    q->Edit();
    {
        auto s = q->CreateBlobStream(q->FieldByName("Note"), bmRead);
        s->WriteBuffer("zzz", 3);
    }
    EXPECT_EQ(q->FieldByName("Note")->AsString(), "first note");
    EXPECT_FALSE(q->Modified());
    { auto s = q->CreateBlobStream(q->FieldByName("Note"), bmReadWrite); }
    EXPECT_FALSE(q->Modified());
    {
        auto s = q->CreateBlobStream(q->FieldByName("Note"), bmReadWrite);
        s->Seek(0, soEnd);
        s->WriteBuffer("!", 1);
    }
    q->Post();
    EXPECT_EQ(q->FieldByName("Note")->AsString(), "first note!");
}

TEST(Blob, StoringBackFailsQuietlyToTheApplication) {
    auto q = notes();
    q->Open();
    std::string reported;
    Application.SetOnException([&](TObject*, const std::exception& e) { reported = e.what(); });
    q->FieldByName("Note")->SetOnChange([](TField*) { throw EDatabaseError("change refused"); });
    q->Edit();
    EXPECT_NO_THROW(write(*q, "Note", "value"));
    Application.SetOnException(nullptr);
    EXPECT_EQ(reported, "change refused");
    q->Cancel();
}

TEST(Blob, MegabyteValues) {
    auto q = notes();
    q->Open();
    std::string big(1 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + 3);
    q->Edit();
    write(*q, "Pic", big);
    q->Post();
    q->Last();
    q->First();
    EXPECT_EQ(readAll(*q->CreateBlobStream(q->FieldByName("Pic"), bmRead)), big);
}

// Edits, cancels, deletes, a refreshed buffer and closes: every holder is released once.
TEST(Blob, NoHolderLeaksOrIsReleasedTwice) {
    auto q = notes();
    q->Open();
    q->Next(); // the record whose values are null
    (void)q->CreateBlobStream(q->FieldByName("Note"), bmRead);
    q->Refresh();
    q->Edit();
    write(*q, "Note", "one");
    write(*q, "Note", "two");
    write(*q, "Pic", "three");
    q->Cancel();
    q->First();
    q->Edit();
    write(*q, "Pic", "replaced");
    q->Post();
    q->Delete();
    q->Append();
    write(*q, "Note", "appended");
    q->Post();
    q->Last();
    q->Delete();
    EXPECT_EQ(q->RecordCount(), 2);
    q->Edit();
    write(*q, "Note", "pending while closing");
    q->Close();
    q->Open();
    EXPECT_EQ(q->RecordCount(), 3);
}

} // namespace
} // namespace dstest

namespace dstest {
namespace {

// A stream open when its record is posted stores what it wrote (a resize included); once
// its record is released (post, cancel, close, the dataset destroyed) further writes
// raise and destroying the stream changes nothing.
TEST(Blob, StreamsOfAReleasedRecordAreDetached) {
    auto q = notes();
    q->Open();
    q->Edit();
    auto posted = q->CreateBlobStream(q->FieldByName("Note"), bmWrite);
    posted->WriteBuffer("written", 7);
    auto resized = q->CreateBlobStream(q->FieldByName("Pic"), bmReadWrite);
    resized->SetSize(1);
    q->Post();
    EXPECT_EQ(q->FieldByName("Note")->AsString(), "written");
    EXPECT_EQ(q->StoredBlob(0, q->FieldByName("Pic")), std::string("\x00", 1));
    EXPECT_THROW(posted->WriteBuffer("more", 4), EDatabaseError);
    EXPECT_THROW(resized->SetSize(0), EDatabaseError);
    EXPECT_EQ(readAll(*posted), "written"); // its bytes stay readable
    posted.reset();
    resized.reset();
    EXPECT_EQ(q->StoredBlob(0, q->FieldByName("Note")), "written");

    // Cancel drops what an open stream wrote.
    q->Edit();
    auto cancelled = q->CreateBlobStream(q->FieldByName("Note"), bmWrite);
    cancelled->WriteBuffer("dropped", 7);
    q->Cancel();
    EXPECT_THROW(cancelled->WriteBuffer("x", 1), EDatabaseError);
    cancelled.reset();
    EXPECT_EQ(q->StoredBlob(0, q->FieldByName("Note")), "written");

    // A stream that outlives its dataset: closed, reopened, then destroyed.
    q->Last();
    q->Edit();
    auto orphan = q->CreateBlobStream(q->FieldByName("Note"), bmWrite);
    orphan->WriteBuffer("lost", 4);
    q->Close();
    q->Open();
    EXPECT_THROW(orphan->WriteBuffer("x", 1), EDatabaseError);
    orphan.reset();
    EXPECT_EQ(q->StoredBlob(2, q->FieldByName("Note")), "third");
    q->Last();
    q->Edit();
    orphan = q->CreateBlobStream(q->FieldByName("Note"), bmWrite);
    orphan->WriteBuffer("gone", 4);
    q.reset();
    EXPECT_THROW(orphan->WriteBuffer("x", 1), EDatabaseError);
    orphan.reset();
}

} // namespace
} // namespace dstest
