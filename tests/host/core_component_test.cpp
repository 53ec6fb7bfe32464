// Components: ownership, names, notifications, free notification, state flags; lists,
// the re-entrant thread list, memory streams and the run-time services.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "tovrin5/host/Classes.h"
#include "tovrin5/host/Runtime.h"

using namespace tovrin::host;

namespace {

// Records the notifications it receives.
class Watcher : public TComponent {
public:
    explicit Watcher(TComponent* owner, std::vector<std::string>* log = nullptr)
        : TComponent(owner), m_log(log) {}
    ~Watcher() override {
        Destroying();
        if (m_log)
            m_log->push_back("destroy " + Name());
    }
    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (Operation == opRemove && AComponent == watched)
            watched = nullptr;
        if (m_log && Operation == opRemove)
            m_log->push_back(Name() + " sees removal");
    }
    TComponent* watched = nullptr;

private:
    std::vector<std::string>* m_log;
};

} // namespace

TEST(CoreComponent, OwnerDestroysOwnedComponentsLastFirst) {
    std::vector<std::string> log;
    auto* owner = new Watcher(nullptr, &log);
    owner->SetName("Owner");
    auto* a = new Watcher(owner, &log);
    a->SetName("A");
    auto* b = new Watcher(owner, &log);
    b->SetName("B");
    auto* grandchild = new Watcher(a, &log);
    grandchild->SetName("G");
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->Components(1), b);
    EXPECT_EQ(b->ComponentIndex(), 1);
    EXPECT_EQ(owner->FindComponent("a"), a);
    EXPECT_EQ(owner->FindComponent("G"), nullptr); // only directly owned ones
    EXPECT_THROW((void)owner->Components(2), EListError);
    delete owner;
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "destroy Owner");
    // B goes before A; A's child goes with A.
    auto pos = [&](const std::string& s) {
        return std::find(log.begin(), log.end(), s) - log.begin();
    };
    EXPECT_LT(pos("destroy B"), pos("destroy A"));
    EXPECT_LT(pos("destroy G"), static_cast<long>(log.size()));
}

TEST(CoreComponent, DeletingAnOwnedComponentLeavesTheOwnerAndTellsSiblings) {
    TComponent owner(nullptr);
    auto* a = new Watcher(&owner);
    auto* b = new Watcher(&owner);
    a->watched = b;
    delete b;
    EXPECT_EQ(owner.ComponentCount(), 1);
    EXPECT_EQ(a->watched, nullptr); // the owner passed the removal on
    // Siblings destroyed with their owner are told too, so no reference dangles.
    auto* holder = new TComponent(nullptr);
    auto* x = new Watcher(holder);
    auto* y = new Watcher(holder);
    y->watched = x;
    x->watched = y;
    delete holder; // under ASan a dangling use would fail here
}

TEST(CoreComponent, NamesAreIdentifiersUniqueWithinTheOwner) {
    TComponent owner(nullptr);
    auto* a = new TComponent(&owner);
    auto* b = new TComponent(&owner);
    a->SetName("Query1");
    EXPECT_THROW(b->SetName("QUERY1"), EComponentError);
    try {
        b->SetName("1abc");
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "'1abc' is not a valid component name");
    }
    try {
        b->SetName("Query1");
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "A component named Query1 already exists");
    }
    b->SetName("Query2");
    a->SetName("query1"); // a new spelling of its own name is fine
    EXPECT_EQ(a->Name(), "query1");
    b->SetName("");
    EXPECT_EQ(owner.FindComponent(""), nullptr);
    // Moving a component to another owner keeps it unique there too.
    TComponent other(nullptr);
    auto* c = new TComponent(&other);
    c->SetName("query1");
    EXPECT_THROW(owner.InsertComponent(c), EComponentError);
    EXPECT_EQ(c->Owner(), &other);
    other.RemoveComponent(c);
    EXPECT_EQ(c->Owner(), nullptr);
    delete c;
}

TEST(CoreComponent, FreeNotificationAcrossOwners) {
    auto* left = new TComponent(nullptr);
    auto* right = new TComponent(nullptr);
    auto* watcher = new Watcher(left);
    auto* target = new TComponent(right);
    watcher->watched = target;
    watcher->FreeNotification(target);
    EXPECT_TRUE(watcher->ComponentState().Contains(csFreeNotification));
    delete right; // destroys target, which tells watcher
    EXPECT_EQ(watcher->watched, nullptr);
    // Destroying the watcher later must not touch the dead target.
    delete left;

    auto* a = new Watcher(nullptr);
    auto* b = new TComponent(nullptr);
    a->watched = b;
    a->FreeNotification(b);
    a->RemoveFreeNotification(b);
    delete b;
    EXPECT_EQ(a->watched, b); // no notification after removal (pointer kept, not dereferenced)
    delete a;
}

TEST(CoreComponent, StateFlagsAndDesigning) {
    TComponent owner(nullptr);
    owner.SetDesigning(true);
    auto* child = new TComponent(&owner);
    EXPECT_TRUE(child->ComponentState().Contains(csDesigning)); // inherited from the owner
    owner.SetDesigning(false);
    EXPECT_FALSE(child->ComponentState().Contains(csDesigning));
    child->ReadStateBegin();
    EXPECT_TRUE(child->ComponentState().Contains(csLoading));
    EXPECT_TRUE(child->ComponentState().Contains(csReading));
    child->ReadStateEnd();
    child->Loaded();
    EXPECT_TRUE(child->ComponentState().Empty());
    owner.Destroying();
    EXPECT_TRUE(child->ComponentState().Contains(csDestroying));
}

TEST(CoreLists, ListIndicesAreChecked) {
    TList list;
    int a = 1, b = 2, c = 3;
    list.Add(&a);
    list.Add(&b);
    list.Insert(0, &c);
    EXPECT_EQ(list.IndexOf(&a), 1);
    list.Move(0, 2);
    EXPECT_EQ(list.Items(2), &c);
    list.Exchange(0, 1);
    EXPECT_EQ(list.First(), &b);
    EXPECT_EQ(list.Remove(&a), 1);
    EXPECT_EQ(list.Remove(&a), -1);
    EXPECT_THROW((void)list.Items(2), EListError);
    EXPECT_THROW(list.Insert(5, &a), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
    list.Add(nullptr);
    list.Pack();
    EXPECT_EQ(list.Count(), 2);
    list.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
    EXPECT_EQ(list.Items(0), &b);
    TList empty;
    EXPECT_THROW((void)empty.Last(), EListError);
}

TEST(CoreLists, ThreadListLockIsReentrantForItsHolder) {
    TThreadList list;
    int a = 1, b = 2;
    TList* inner = list.LockList();
    list.Add(&a); // takes the lock again on the same thread
    {
        TThreadListLock again(list);
        again.list()->Add(&b);
    }
    EXPECT_EQ(inner->Count(), 2);
    list.Add(&a); // ignored: dupIgnore
    EXPECT_EQ(inner->Count(), 2);

    // Another thread waits until the holder lets go completely.
    std::atomic<bool> added{false};
    std::thread other([&] {
        list.Add(&b);
        list.Remove(&a);
        added = true;
    });
    std::this_thread::yield();
    EXPECT_FALSE(added.load());
    EXPECT_EQ(inner->Count(), 2);
    list.UnlockList();
    other.join();
    EXPECT_TRUE(added.load());
    TThreadListLock check(list);
    EXPECT_EQ(check.list()->Count(), 1);
    list.SetDuplicates(dupError);
    EXPECT_THROW(list.Add(&b), EListError);
}

TEST(CoreLists, ThreadListUnderContention) {
    TThreadList list;
    list.SetDuplicates(dupAccept);
    std::vector<int> values(4000);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 1000; ++i) {
                TThreadListLock lock(list);
                lock.list()->Add(&values[static_cast<size_t>(t * 1000 + i)]);
                list.LockList(); // nested
                list.UnlockList();
            }
        });
    }
    for (auto& th : threads)
        th.join();
    TThreadListLock lock(list);
    EXPECT_EQ(lock.list()->Count(), 4000);
}

namespace {
// Counts the capacity changes it is asked for.
class CountingStream : public TMemoryStream {
public:
    int reallocs = 0;

protected:
    void* Realloc(int64_t& NewCapacity) override {
        ++reallocs;
        return TMemoryStream::Realloc(NewCapacity);
    }
};
} // namespace

TEST(CoreStreams, MemoryStreamReadWriteSeekSize) {
    CountingStream s;
    const char text[] = "hello, world";
    s.WriteBuffer(text, 12);
    EXPECT_EQ(s.Size(), 12);
    EXPECT_EQ(s.Position(), 12);
    EXPECT_GT(s.reallocs, 0);
    s.SetPosition(7);
    char buf[16] = {};
    EXPECT_EQ(s.Read(buf, 100), 5);
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(s.Read(buf, 1), 0);
    EXPECT_THROW(s.ReadBuffer(buf, 1), EReadError);
    // Writing past the end leaves zeros in the gap.
    s.Seek(4, soEnd);
    s.WriteBuffer("!", 1);
    EXPECT_EQ(s.Size(), 17);
    EXPECT_EQ(std::memcmp(static_cast<char*>(s.Memory()) + 12, "\0\0\0\0!", 5), 0);
    EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
    s.SetSize(5);
    EXPECT_EQ(s.Position(), 5);
    EXPECT_EQ(std::string(static_cast<char*>(s.Memory()), 5), "hello");
    s.SetSize(8);
    EXPECT_EQ(std::memcmp(static_cast<char*>(s.Memory()) + 5, "\0\0\0", 3), 0);

    TMemoryStream copy;
    copy.LoadFromStream(&s);
    EXPECT_EQ(copy.Size(), 8);
    EXPECT_EQ(copy.Position(), 0);
    TStringStream out;
    copy.SaveToStream(&out);
    EXPECT_EQ(out.DataString(), std::string("hello\0\0\0", 8));
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Memory(), nullptr);
}

TEST(CoreStreams, StringListsThroughStreams) {
    TStringList a;
    a.Add("one");
    a.Add("two");
    TMemoryStream s;
    a.SaveToStream(&s);
    EXPECT_EQ(s.Size(), 8); // "one\ntwo\n": the platform's line break
    s.SetPosition(0);
    TStringList b;
    b.LoadFromStream(&s);
    EXPECT_TRUE(a.Equals(&b));
}

TEST(CoreRuntime, AssertCarriesUnitAndLine) {
    EXPECT_NO_THROW(Assert(true, "cspublic", 1352));
    try {
        Assert(false, "cspublic", 1352);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Assertion failure (cspublic, line 1352)");
        EXPECT_EQ(e.UnitName(), "cspublic");
        EXPECT_EQ(e.Line(), 1352);
    }
    try {
        Assert(false, "CTLibConnections not defined", "SybConnect", 460);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "CTLibConnections not defined (SybConnect, line 460)");
    }
}

TEST(CoreRuntime, DatabaseErrorsNameTheComponent) {
    TComponent c(nullptr);
    c.SetName("Query1");
    try {
        DatabaseErrorFmt("Field '%s' not found", {"x"}, &c);
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Query1: Field 'x' not found");
    }
    EXPECT_THROW(DatabaseError("E_UNSUPPORTED_FIELD_TYPE"), EDatabaseError);
    EXPECT_THROW(Abort(), EAbort);
}

TEST(CoreRuntime, ExitProceduresRunOnceLastFirst) {
    std::vector<int> order;
    AddExitProc([&] { order.push_back(1); });
    AddExitProc([&] { throw Exception("ignored"); });
    AddExitProc([&] { order.push_back(3); });
    RunExitProcs();
    EXPECT_EQ(order, (std::vector<int>{3, 1}));
    RunExitProcs();
    EXPECT_EQ(order.size(), 2u);
}

TEST(CoreRuntime, CursorLibraryFlagAndExceptionDisplay) {
    EXPECT_EQ(Screen.Cursor(), crDefault);
    {
        TCursorGuard busy(crSQLWait);
        EXPECT_EQ(Screen.Cursor(), -17);
    }
    EXPECT_EQ(Screen.Cursor(), crDefault);

    EXPECT_FALSE(IsLibrary());
    SetIsLibrary(false);
    EXPECT_THROW(SetIsLibrary(true), EInvalidOperation);
    EXPECT_FALSE(IsLibrary());

    std::string seen;
    TObject* sender = nullptr;
    TComponent source(nullptr);
    Application.SetOnException([&](TObject* s, const std::exception& e) {
        sender = s;
        seen = e.what();
    });
    try {
        throw EReadError("Stream read error");
    } catch (...) {
        Application.HandleException(&source);
    }
    EXPECT_EQ(seen, "Stream read error");
    EXPECT_EQ(sender, &source);
    Application.HandleException(nullptr); // outside a handler: nothing happens
    Application.SetOnException(nullptr);
    testing::internal::CaptureStderr();
    try {
        throw Exception("shown on stderr");
    } catch (...) {
        Application.HandleException(nullptr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "shown on stderr\n");
}

namespace {
class TNamedItem : public TCollectionItem {
public:
    explicit TNamedItem(TCollection* c) : TCollectionItem(c) {}
    std::string ClassName() const override { return "TNamedItem"; }
    std::string label;
    void touch() { Changed(false); }
    void Assign(TPersistent* Source) override {
        if (auto* o = dynamic_cast<TNamedItem*>(Source)) {
            label = o->label;
            return;
        }
        TCollectionItem::Assign(Source);
    }
};

class TWatchedCollection : public TCollection {
public:
    TWatchedCollection()
        : TCollection("TNamedItem", [](TCollection* c) { return new TNamedItem(c); }) {}
    int updatesAll = 0;
    int updatesItem = 0;
    std::vector<std::string> notes;

protected:
    void Update(TCollectionItem* Item) override { ++(Item ? updatesItem : updatesAll); }
    void Notify(TCollectionItem* Item, TCollectionNotification Action) override {
        notes.push_back(std::to_string(Item->ID()) + (Action == cnAdded      ? "+"
                                                      : Action == cnDeleting ? "x"
                                                                             : "-"));
    }
};
} // namespace

TEST(CoreCollection, ItemsBelongToTheirCollection) {
    TWatchedCollection coll;
    auto* a = static_cast<TNamedItem*>(coll.Add());
    auto* b = static_cast<TNamedItem*>(coll.Add());
    auto* c = static_cast<TNamedItem*>(coll.Insert(0));
    EXPECT_EQ(coll.Count(), 3);
    EXPECT_EQ(c->Index(), 0);
    EXPECT_EQ(a->Index(), 1);
    EXPECT_EQ(coll.FindItemID(b->ID()), b);
    EXPECT_NE(a->ID(), b->ID());
    EXPECT_EQ(coll.updatesAll, 4); // three additions and one move
    b->touch();
    EXPECT_EQ(coll.updatesItem, 1);
    coll.BeginUpdate();
    coll.Add();
    coll.Delete(0);
    b->touch();
    EXPECT_EQ(coll.updatesAll, 4);
    coll.EndUpdate();
    EXPECT_EQ(coll.updatesAll, 5); // one update for the whole batch
    EXPECT_THROW((void)coll.Items(3), EListError);
    EXPECT_THROW(coll.Delete(-1), EListError);
    delete a; // an item deleted on its own leaves the collection
    EXPECT_EQ(coll.Count(), 2);
    EXPECT_EQ(coll.notes.front(), "0+");
    EXPECT_NE(std::find(coll.notes.begin(), coll.notes.end(), "2x"), coll.notes.end());

    TWatchedCollection other;
    static_cast<TNamedItem*>(other.Add())->label = "x";
    static_cast<TNamedItem*>(other.Add())->label = "y";
    coll.Assign(&other);
    ASSERT_EQ(coll.Count(), 2);
    EXPECT_EQ(static_cast<TNamedItem*>(coll.Items(1))->label, "y");
    TStringList strings;
    try {
        strings.Assign(&coll);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a TCollection to a TStringList");
    }
}
