// Data sources and links: circular-link refusal, detail links first, form streaming of a
// data source with its dataset reference and events; field definitions of a closed
// dataset; an error handler that aborts.
#include <gtest/gtest.h>

#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Filer.h"
#include "tests/host/data_ArrayDataSet.h"

using namespace tovrin::host;
using namespace testdata;

namespace {

// A dataset that is the detail of a data source (as a query with a DataSource is).
class DetailDataSet : public ArrayDataSet {
public:
    using ArrayDataSet::ArrayDataSet;
    [[nodiscard]] TDataSource* GetDataSource() const override { return m_master; }
    void SetDataSource(TDataSource* Value) {
        if (IsLinkedTo(Value))
            DatabaseError(dbconsts::SCircularDataLink, this);
        m_master = Value;
    }

private:
    TDataSource* m_master = nullptr;
};

class OrderLink : public TDataLink {
public:
    OrderLink(std::vector<std::string>& log, std::string name)
        : m_log(log), m_name(std::move(name)) {}
    void RecordChanged(TField*) override { m_log.push_back(m_name); }

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

class OrderDetailLink : public TDetailDataLink {
public:
    OrderDetailLink(std::vector<std::string>& log, std::string name)
        : m_log(log), m_name(std::move(name)) {}
    void RecordChanged(TField*) override { m_log.push_back(m_name); }

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

class PublishedDataSet : public ArrayDataSet {
public:
    explicit PublishedDataSet(TComponent* owner) : ArrayDataSet(owner, {{"ID", ftInteger, 0}}) {}
    [[nodiscard]] std::string ClassName() const override { return "TPublishedDataSet"; }
    void GetPublishedProperties(TPropList& list) const override {
        ArrayDataSet::GetPublishedProperties(list);
        list.push_back(BoolProperty<TDataSet>("Active", &TDataSet::Active, &TDataSet::SetActive)
                           .withDefault(Variant(false)));
        AddEventProperties(list);
    }
};

class TestForm : public TComponent {
public:
    explicit TestForm(TComponent* owner) : TComponent(owner) {}
    [[nodiscard]] std::string ClassName() const override { return "TTestForm"; }
};

} // namespace

TEST(DataLinks, CircularLinksAreRefused) {
    ArrayDataSet master(nullptr, {{"ID", ftInteger, 0}});
    DetailDataSet detail(nullptr, {{"ID", ftInteger, 0}});
    detail.SetName("Detail");
    TDataSource masterSource(nullptr);
    masterSource.SetName("MasterSource");
    masterSource.SetDataSet(&master);
    detail.SetDataSource(&masterSource);
    EXPECT_TRUE(master.IsLinkedTo(&masterSource));
    TDataSource detailSource(nullptr);
    detailSource.SetDataSet(&detail);
    EXPECT_TRUE(detail.IsLinkedTo(&detailSource));
    try {
        detail.SetDataSource(&detailSource); // its own data source
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Detail: Circular datalinks are not allowed");
    }
    EXPECT_EQ(detail.GetDataSource(), &masterSource); // kept the previous source
    // A source cannot show a dataset that is a detail of that source.
    EXPECT_THROW(masterSource.SetDataSet(&detail), EDatabaseError);
    EXPECT_EQ(masterSource.DataSet(), &master);
    EXPECT_TRUE(masterSource.IsLinkedTo(&detail));
    EXPECT_FALSE(detailSource.IsLinkedTo(&master));
}

TEST(DataLinks, DetailLinksHearChangesFirstAndLinksLeaveCleanly) {
    auto ds = makeNumbers(3);
    TDataSource src(nullptr);
    src.SetDataSet(ds.get());
    std::vector<std::string> log;
    OrderLink plain(log, "plain");
    OrderDetailLink detail(log, "detail");
    plain.SetDataSource(&src);
    detail.SetDataSource(&src);
    std::vector<std::string> changes;
    src.SetOnDataChange(
        [&](TObject*, TField* f) { changes.push_back(f ? f->FieldName() : "record"); });
    ds->Open();
    log.clear();
    ds->Next();
    EXPECT_EQ(log, (std::vector<std::string>{"detail", "plain"}));
    EXPECT_EQ(changes.back(), "record");
    {
        OrderLink temporary(log, "temporary");
        temporary.SetBufferCount(3);
        temporary.SetDataSource(&src);
        EXPECT_EQ(ds->BufferCount(), 3);
        EXPECT_EQ(src.DataLinkCount(), 3);
    } // destroyed while attached
    EXPECT_EQ(src.DataLinkCount(), 2);
    EXPECT_EQ(ds->BufferCount(), 1);
    src.SetEnabled(false);
    EXPECT_FALSE(plain.Active());
    log.clear();
    ds->Next();
    EXPECT_TRUE(log.empty());
    src.SetEnabled(true);
    EXPECT_TRUE(plain.Active());
    ds->Close();
}

TEST(DataLinks, DataSourceStreamsItsDataSetAndEvents) {
    RegisterComponentClass<TestForm>("TTestForm");
    RegisterComponentClass<PublishedDataSet>("TPublishedDataSet");
    RegisterComponentClass<TDataSource>("TDataSource");
    int opened = 0;
    auto registerHandlers = [&](TComponent* root) {
        root->RegisterMethod<void(TDataSet*)>("NumbersAfterOpen", [&](TDataSet*) { ++opened; });
        root->RegisterMethod<void(TObject*, TField*)>("SrcDataChange", [](TObject*, TField*) {});
    };
    TestForm form(nullptr);
    form.SetName("Form1");
    registerHandlers(&form);
    auto* ds = new PublishedDataSet(&form);
    ds->SetName("Numbers");
    ds->SetAfterOpen(form.Method<void(TDataSet*)>("NumbersAfterOpen"));
    auto* src = new TDataSource(&form);
    src->SetName("Src");
    src->SetDataSet(ds);
    src->SetAutoEdit(false);
    src->SetOnDataChange(form.Method<void(TObject*, TField*)>("SrcDataChange"));
    ds->Open(); // default fields (owned by the dataset) are not written
    ds->Close();
    new TIntegerField(ds); // nor is anything else the dataset owns
    std::string text = ComponentToText(&form);
    EXPECT_EQ(text.find("TIntegerField"), std::string::npos) << text;
    opened = 0;
    EXPECT_NE(text.find("AfterOpen = NumbersAfterOpen"), std::string::npos) << text;
    EXPECT_NE(text.find("DataSet = Numbers"), std::string::npos) << text;

    TestForm copy(nullptr);
    registerHandlers(&copy);
    TextToComponent(text, &copy);
    auto* ds2 = dynamic_cast<PublishedDataSet*>(copy.FindComponent("Numbers"));
    auto* src2 = dynamic_cast<TDataSource*>(copy.FindComponent("Src"));
    ASSERT_NE(ds2, nullptr);
    ASSERT_NE(src2, nullptr);
    EXPECT_EQ(src2->DataSet(), ds2);
    EXPECT_FALSE(src2->AutoEdit());
    EXPECT_EQ(src2->OnDataChange().HandlerName(), "SrcDataChange");
    ds2->Open();
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(src2->State(), dsBrowse);
    ds2->Close();
}

TEST(DataSetFieldDefs, UpdateOnAClosedDatasetDescribesWithoutOpening) {
    auto ds = makeNumbers(2);
    ds->FieldDefs().Update();
    EXPECT_FALSE(ds->Active());
    ASSERT_EQ(ds->FieldDefs().Count(), 3);
    EXPECT_EQ(ds->FieldDefs()[1]->Name(), "NAME");
    EXPECT_EQ(ds->FieldDefs()[1]->Size(), 10);
    EXPECT_EQ(ds->FieldDefs()[2]->FieldNo(), 3);
    EXPECT_EQ(ds->FieldDefs().Find("amount")->DataType(), ftFloat);
    EXPECT_THROW((void)ds->FieldDefs().Find("none"), EDatabaseError);
    EXPECT_THROW(ds->FieldDefs().Add("ID", ftInteger), EDatabaseError);
    ds->Open(); // the rows added before are still there
    EXPECT_EQ(ds->RecordCount(), 2);
}

TEST(DataSetErrors, AbortingADeleteLeavesTheRecord) {
    auto ds = makeNumbers(2);
    ds->Open();
    int afterDelete = 0;
    ds->SetAfterDelete([&](TDataSet*) { ++afterDelete; });
    ds->SetBeforeDelete([](TDataSet*) { DatabaseError("not now"); });
    EXPECT_THROW(ds->Delete(), EDatabaseError);
    EXPECT_EQ(ds->RecordCount(), 2);
    ds->SetBeforeDelete(nullptr);
    ds->SetOnDeleteError([](TDataSet*, EDatabaseError*, TDataAction& a) { a = daAbort; });
    ds->Close();
    ds->AddRow({3, "x", 0.0});
    ds->Open();
    ds->SetReadOnlyDataSet(false);
    // InternalDelete of the test dataset cannot fail, so force an error through Post.
    ds->Edit();
    ds->FieldByName("ID")->SetAsInteger(5);
    ds->FailPosts(1);
    ds->SetOnPostError([](TDataSet*, EDatabaseError*, TDataAction& a) { a = daAbort; });
    EXPECT_THROW(ds->Post(), EAbort);
    EXPECT_EQ(ds->State(), dsEdit);
    ds->Cancel();
    EXPECT_EQ(afterDelete, 0);
}

TEST(DataLinks, StreamedActiveOpensOnceLoaded) {
    RegisterComponentClass<TestForm>("TTestForm");
    RegisterComponentClass<PublishedDataSet>("TPublishedDataSet");
    TestForm form(nullptr);
    form.SetName("Form2");
    auto* ds = new PublishedDataSet(&form);
    ds->SetName("Numbers");
    ds->Open();
    std::string text = ComponentToText(&form);
    EXPECT_NE(text.find("Active = True"), std::string::npos) << text;
    ds->Close();

    TestForm copy(nullptr);
    std::vector<std::string> seen;
    copy.RegisterMethod<void(TDataSet*)>("Opened", [&](TDataSet* d) {
        seen.push_back(d->ComponentState().Contains(csLoading) ? "loading" : "loaded");
    });
    std::string withHandler = text;
    withHandler.insert(withHandler.find("Active = True"), "AfterOpen = Opened\n    ");
    TextToComponent(withHandler, &copy);
    auto* ds2 = dynamic_cast<PublishedDataSet*>(copy.FindComponent("Numbers"));
    ASSERT_NE(ds2, nullptr);
    EXPECT_TRUE(ds2->Active());
    EXPECT_EQ(seen, (std::vector<std::string>{"loaded"})); // opened after reading, not while
    ds2->Close();
}

namespace {

// A detail that reopens itself for every master record, showing the rows whose ID is
// a multiple of the master's ID (the shape of a parameterised detail query).
class MultiplesDetail : public ArrayDataSet {
public:
    class Link : public TDetailDataLink {
    public:
        explicit Link(MultiplesDetail* owner) : m_owner(owner) {}
        TDataSet* GetDetailDataSet() override { return m_owner; }
        std::vector<std::string> seen;

    protected:
        void ActiveChanged() override {
            seen.push_back(Active() ? "active" : "inactive");
            if (m_owner->Active())
                m_owner->refresh();
        }
        void RecordChanged(TField* f) override {
            if (!f && m_owner->Active())
                m_owner->refresh();
        }
        void CheckBrowseMode() override {
            if (m_owner->Active())
                m_owner->CheckBrowseMode();
        }

    private:
        MultiplesDetail* m_owner;
    };

    MultiplesDetail() : ArrayDataSet(nullptr, {{"ID", ftInteger, 0}}), link(this) {}
    ~MultiplesDetail() override { link.SetDataSource(nullptr); }
    [[nodiscard]] TDataSource* GetDataSource() const override { return link.DataSource(); }
    void refresh() {
        TDataSet* master = link.DataSet();
        if (!master || !master->Active())
            return;
        int step = master->FieldByName("ID")->AsInteger();
        DisableControls();
        Close();
        for (int i = step; i <= 12; i += step)
            AddRow({i});
        Open();
        EnableControls();
    }
    Link link;
};

std::vector<int> allIds(TDataSet& ds) {
    std::vector<int> ids;
    for (ds.First(); !ds.Eof(); ds.Next())
        ids.push_back(ds.FieldByName("ID")->AsInteger());
    return ids;
}

} // namespace

TEST(DataLinks, DetailFollowsTheMasterRecord) {
    auto master = makeNumbers(4);
    TDataSource src(nullptr);
    src.SetDataSet(master.get());
    MultiplesDetail detail;
    detail.AddRow({0});
    detail.Open();
    master->Open();
    detail.link.SetDataSource(&src); // attaching to an open master makes the link active
    EXPECT_EQ(detail.link.seen, (std::vector<std::string>{"active"}));
    EXPECT_EQ(allIds(detail), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    master->Next();
    EXPECT_EQ(allIds(detail), (std::vector<int>{2, 4, 6, 8, 10, 12}));
    master->Last();
    EXPECT_EQ(allIds(detail), (std::vector<int>{4, 8, 12}));
    master->Close(); // the detail stays as it is
    EXPECT_EQ(detail.link.seen.back(), "inactive");
    EXPECT_TRUE(detail.Active());
    EXPECT_EQ(allIds(detail), (std::vector<int>{4, 8, 12}));
    master->AddRow({3, "three", 0.0});
    master->Open(); // reopening runs the detail for the first record again
    EXPECT_EQ(allIds(detail), (std::vector<int>{3, 6, 9, 12}));
    detail.Edit();
    detail.FieldByName("ID")->SetAsInteger(99);
    master->Next(); // the master's browse check posts the detail's edit first
    EXPECT_EQ(detail.State(), dsBrowse);
}
