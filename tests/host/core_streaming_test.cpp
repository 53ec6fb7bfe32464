// Component streaming: round trips of component trees through the text form, inherited
// (ancestor) writing, defined properties, and refusal of damaged text without leftovers.
#include <gtest/gtest.h>

#include <memory>

#include "tovrin5/host/Classes.h"
#include "tovrin5/host/SysUtils.h"

using namespace tovrin::host;

namespace {

enum TMode { mdOff, mdSlow, mdFast };
enum TFlag { flA, flB, flC };
using TFlags = TSet<TFlag>;

int g_alive = 0; // live test components, to prove that failed reads leave nothing

class TTestItem : public TCollectionItem {
public:
    explicit TTestItem(TCollection* c) : TCollectionItem(c) {}
    std::string ClassName() const override { return "TTestItem"; }
    const std::string& Label() const { return m_label; }
    void SetLabel(const std::string& v) { m_label = v; }
    int Size() const { return m_size; }
    void SetSize(int v) { m_size = v; }
    const Variant& Value() const { return m_value; }
    void SetValue(const Variant& v) { m_value = v; }
    void GetPublishedProperties(TPropList& l) const override {
        TCollectionItem::GetPublishedProperties(l);
        l.push_back(StringProperty<TTestItem>("Label", &TTestItem::Label, &TTestItem::SetLabel));
        l.push_back(IntegerProperty<TTestItem>("Size", &TTestItem::Size, &TTestItem::SetSize)
                        .withDefault(Variant(0)));
        l.push_back(VariantProperty<TTestItem>("Value", &TTestItem::Value, &TTestItem::SetValue));
    }
    void Assign(TPersistent* Source) override {
        if (auto* o = dynamic_cast<TTestItem*>(Source)) {
            m_label = o->m_label;
            m_size = o->m_size;
            m_value = o->m_value;
            return;
        }
        TCollectionItem::Assign(Source);
    }

private:
    std::string m_label;
    int m_size = 0;
    Variant m_value;
};

// A nested persistent sub-object with its own string list: written as Options.Level and
// Options.Names.Strings.
class TOptions : public TPersistent {
public:
    std::string ClassName() const override { return "TOptions"; }
    int Level() const { return m_level; }
    void SetLevel(int v) { m_level = v; }
    TStringList* Names() const { return const_cast<TStringList*>(&m_names); }
    void GetPublishedProperties(TPropList& l) const override {
        TPersistent::GetPublishedProperties(l);
        l.push_back(IntegerProperty<TOptions>("Level", &TOptions::Level, &TOptions::SetLevel)
                        .withDefault(Variant(0)));
        l.push_back(ObjectProperty<TOptions>("Names", "TStrings", &TOptions::Names));
    }

private:
    int m_level = 0;
    TStringList m_names;
};

class TTestQuery : public TComponent {
public:
    explicit TTestQuery(TComponent* owner)
        : TComponent(owner), m_items("TTestItem", [](TCollection* c) { return new TTestItem(c); }) {
        ++g_alive;
        m_items.SetOwner(this);
        m_extra.SetOwner(this);
    }
    ~TTestQuery() override { --g_alive; }
    std::string ClassName() const override { return "TTestQuery"; }

    TStringList* SQL() const { return const_cast<TStringList*>(&m_sql); }
    TCollection* Items() const { return const_cast<TCollection*>(&m_items); }
    TCollection* Extra() const { return const_cast<TCollection*>(&m_extra); }
    TOptions* Options() const { return const_cast<TOptions*>(&m_options); }
    TTestQuery* Master() const { return m_master; }
    void SetMaster(TTestQuery* v) { m_master = v; }
    TComponent* Peer() const { return m_peer; }
    void SetPeer(TComponent* v) { m_peer = v; }
    double Ratio() const { return m_ratio; }
    void SetRatio(double v) { m_ratio = v; }
    TMode Mode() const { return m_mode; }
    void SetMode(TMode v) { m_mode = v; }
    TFlags Flags() const { return m_flags; }
    void SetFlags(TFlags v) { m_flags = v; }
    bool Active() const { return m_active; }
    void SetActive(bool v) { m_active = v; }
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool v) { m_readOnly = v; }
    const std::string& DatabaseName() const { return m_databaseName; }
    void SetDatabaseName(const std::string& v) {
        if (v == "boom")
            throw EDatabaseError("bad database name");
        m_databaseName = v;
    }
    const std::string& Password() const { return m_password; }
    void SetPassword(const std::string& v) { m_password = v; }
    const TNotifyEvent& OnFire() const { return m_onFire; }
    void SetOnFire(TNotifyEvent v) { m_onFire = std::move(v); }

    void GetPublishedProperties(TPropList& l) const override {
        TComponent::GetPublishedProperties(l);
        l.push_back(StringProperty<TTestQuery>("DatabaseName", &TTestQuery::DatabaseName,
                                               &TTestQuery::SetDatabaseName));
        l.push_back(ObjectProperty<TTestQuery>("SQL", "TStrings", &TTestQuery::SQL));
        l.push_back(ObjectProperty<TTestQuery>("Items", "TCollection", &TTestQuery::Items));
        l.push_back(ObjectProperty<TTestQuery>("Options", "TOptions", &TTestQuery::Options));
        l.push_back(ComponentProperty<TTestQuery, TTestQuery>(
            "Master", "TTestQuery", &TTestQuery::Master, &TTestQuery::SetMaster));
        l.push_back(ComponentProperty<TTestQuery, TComponent>(
            "Peer", "TComponent", &TTestQuery::Peer, &TTestQuery::SetPeer));
        l.push_back(FloatProperty<TTestQuery>("Ratio", &TTestQuery::Ratio, &TTestQuery::SetRatio));
        l.push_back(EnumProperty<TTestQuery, TMode>("Mode", "TMode", {"mdOff", "mdSlow", "mdFast"},
                                                    &TTestQuery::Mode, &TTestQuery::SetMode)
                        .withDefault(Variant(0)));
        l.push_back(SetProperty<TTestQuery, TFlag>("Flags", "TFlags", {"flA", "flB", "flC"},
                                                   &TTestQuery::Flags, &TTestQuery::SetFlags)
                        .withDefault(Variant(0LL)));
        l.push_back(BoolProperty<TTestQuery>("Active", &TTestQuery::Active, &TTestQuery::SetActive)
                        .storedNever());
        l.push_back(
            BoolProperty<TTestQuery>("ReadOnly", &TTestQuery::ReadOnly, &TTestQuery::SetReadOnly)
                .withDefault(Variant(false)));
        l.push_back(EventProperty<TTestQuery, void(TObject*)>(
            "OnFire", "TNotifyEvent", &TTestQuery::OnFire, &TTestQuery::SetOnFire));
    }

    // "ExtraData" carries a second collection as a defined property, written only when it
    // differs from the ancestor's (or is not empty without one).
    void DefineProperties(TFiler* Filer) override {
        TComponent::DefineProperties(Filer);
        bool hasData = m_extra.Count() > 0;
        if (auto* anc = dynamic_cast<TTestQuery*>(Filer->Ancestor())) {
            TWriter a, b;
            a.WriteCollection(&anc->m_extra);
            b.WriteCollection(&m_extra);
            hasData = a.Text() != b.Text();
        }
        Filer->DefineProperty(
            "ExtraData",
            [this](TReader* r) {
                if (r->ReadValue() != vaCollection)
                    throw EReadError("collection expected");
                r->ReadCollection(&m_extra);
            },
            [this](TWriter* w) { w->WriteCollection(&m_extra); }, hasData);
    }

    void Loaded() override {
        TComponent::Loaded();
        loadedCalls++;
        masterAtLoaded = m_master;
    }

    // Components tagged -1 are made by the query itself and are not streamed.
    void GetChildren(const std::function<void(TComponent*)>& Proc,
                     TComponent* Root) const override {
        TComponent::GetChildren(
            [&](TComponent* c) {
                if (c->Tag() != -1)
                    Proc(c);
            },
            Root);
    }

    int loadedCalls = 0;
    TTestQuery* masterAtLoaded = nullptr;

private:
    TStringList m_sql;
    TOptions m_options;
    TCollection m_items;
    TCollection m_extra{"TTestItem", [](TCollection* c) { return new TTestItem(c); }};
    TTestQuery* m_master = nullptr;
    TComponent* m_peer = nullptr;
    double m_ratio = 0;
    TMode m_mode = mdOff;
    TFlags m_flags;
    bool m_active = false;
    bool m_readOnly = false;
    std::string m_databaseName;
    std::string m_password;
    TNotifyEvent m_onFire;
};

// The root: a form-like component whose handlers are published in its method table.
class TTestForm : public TComponent {
public:
    explicit TTestForm(TComponent* owner) : TComponent(owner) {
        ++g_alive;
        RegisterMethod<void(TObject*)>("FormFire", [this](TObject* sender) {
            ++fired;
            lastSender = sender;
        });
        RegisterMethod<void(TObject*)>("OtherFire", [this](TObject*) { fired += 100; });
    }
    ~TTestForm() override { --g_alive; }
    std::string ClassName() const override { return "TTestForm"; }
    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& v) { m_caption = v; }
    void GetPublishedProperties(TPropList& l) const override {
        TComponent::GetPublishedProperties(l);
        l.push_back(
            StringProperty<TTestForm>("Caption", &TTestForm::Caption, &TTestForm::SetCaption));
    }
    int fired = 0;
    TObject* lastSender = nullptr;

private:
    std::string m_caption;
};

class CoreStreaming : public testing::Test {
protected:
    void SetUp() override {
        RegisterComponentClass<TTestQuery>("TTestQuery");
        RegisterComponentClass<TTestForm>("TTestForm");
        g_alive = 0;
    }
    void TearDown() override { EXPECT_EQ(g_alive, 0) << "components left alive"; }

    // Form1 owns Query1 (which owns Detail1) and Query2; references cross in both directions.
    static std::unique_ptr<TTestForm> buildTree() {
        auto form = std::make_unique<TTestForm>(nullptr);
        form->SetName("Form1");
        form->SetCaption("Orders 'today'\r\nsecond line");
        form->SetTag(7);
        auto* q1 = new TTestQuery(form.get());
        q1->SetName("Query1");
        q1->SetDatabaseName("pubs");
        q1->SQL()->Add("select * from titles where price > :low");
        q1->SQL()->Add("and notes <> 'a:b'");
        q1->SetRatio(10.5);
        q1->SetMode(mdFast);
        q1->SetFlags({flA, flC});
        q1->SetActive(true);
        q1->SetPassword("secret");
        q1->SetOnFire(form->Method<void(TObject*)>("FormFire"));
        auto* item = static_cast<TTestItem*>(q1->Items()->Add());
        item->SetLabel("low");
        item->SetSize(8);
        item->SetValue(Variant(10.5));
        item = static_cast<TTestItem*>(q1->Items()->Add());
        item->SetLabel("kind");
        item->SetValue(Null());
        auto* extra = static_cast<TTestItem*>(q1->Extra()->Add());
        extra->SetLabel("defined");
        extra->SetValue(VarFromBytes(std::string("\x00\xff", 2)));
        auto* detail = new TTestQuery(q1);
        detail->SetName("Detail1");
        detail->SetMaster(q1);
        detail->SQL()->Add("select 1");
        auto* q2 = new TTestQuery(form.get());
        q2->SetName("Query2");
        q2->SetMaster(q1);
        q2->SetPeer(detail);
        q1->SetPeer(q2); // forward reference: Query2 comes later in the text
        q2->SetReadOnly(true);
        return form;
    }
};

void expectSameQuery(TTestQuery* a, TTestQuery* b) {
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a->Name(), b->Name());
    EXPECT_EQ(a->DatabaseName(), b->DatabaseName());
    EXPECT_TRUE(a->SQL()->Equals(b->SQL()));
    EXPECT_EQ(a->Ratio(), b->Ratio());
    EXPECT_EQ(a->Mode(), b->Mode());
    EXPECT_EQ(a->Flags(), b->Flags());
    EXPECT_EQ(a->ReadOnly(), b->ReadOnly());
    EXPECT_EQ(a->Items()->Count(), b->Items()->Count());
    for (int i = 0; i < std::min(a->Items()->Count(), b->Items()->Count()); ++i) {
        auto* x = static_cast<TTestItem*>(a->Items()->Items(i));
        auto* y = static_cast<TTestItem*>(b->Items()->Items(i));
        EXPECT_EQ(x->Label(), y->Label());
        EXPECT_EQ(x->Size(), y->Size());
        EXPECT_TRUE(x->Value() == y->Value());
        EXPECT_EQ(x->Value().VarType(), y->Value().VarType());
    }
    EXPECT_EQ(a->Extra()->Count(), b->Extra()->Count());
    EXPECT_EQ(a->Master() ? a->Master()->Name() : "", b->Master() ? b->Master()->Name() : "");
    EXPECT_EQ(a->Peer() ? a->Peer()->Name() : "", b->Peer() ? b->Peer()->Name() : "");
    EXPECT_EQ(a->OnFire().HandlerName(), b->OnFire().HandlerName());
}

} // namespace

TEST_F(CoreStreaming, TreeRoundTripsPropertyByProperty) {
    auto form = buildTree();
    std::string text = ComponentToText(form.get());

    // A person can read it.
    EXPECT_NE(text.find("object Form1: TTestForm\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  object Query1: TTestQuery\n"), std::string::npos) << text;
    EXPECT_NE(text.find("    SQL.Strings = (\n      'select * from titles where price > :low'\n    "
                        "  'and notes <> ''a:b''')"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Caption = 'Orders ''today'''#13#10'second line'"), std::string::npos)
        << text;
    EXPECT_NE(text.find("    Items = <\n      item\n        Label = 'low'\n        Size = 8\n      "
                        "  Value = 10.5\n      end"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Mode = mdFast"), std::string::npos);
    EXPECT_NE(text.find("Flags = [flA, flC]"), std::string::npos);
    EXPECT_NE(text.find("OnFire = FormFire"), std::string::npos);
    EXPECT_NE(text.find("Peer = Query2"), std::string::npos);
    EXPECT_NE(text.find("Peer = Query1.Detail1"), std::string::npos);
    EXPECT_NE(text.find("ExtraData = <"), std::string::npos);
    EXPECT_NE(text.find("    object Detail1: TTestQuery"), std::string::npos);
    // Not stored: Active (stored never), the password (not published), defaults.
    EXPECT_EQ(text.find("Active"), std::string::npos);
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_EQ(text.find("ReadOnly = False"), std::string::npos);
    EXPECT_NE(text.find("ReadOnly = True"), std::string::npos);

    std::unique_ptr<TComponent> copy(TextToComponent(text));
    auto* form2 = dynamic_cast<TTestForm*>(copy.get());
    ASSERT_NE(form2, nullptr);
    EXPECT_EQ(form2->Name(), "Form1");
    EXPECT_EQ(form2->Caption(), form->Caption());
    EXPECT_EQ(form2->Tag(), 7);
    ASSERT_EQ(form2->ComponentCount(), 2);
    auto* q1 = dynamic_cast<TTestQuery*>(form2->FindComponent("Query1"));
    auto* q2 = dynamic_cast<TTestQuery*>(form2->FindComponent("Query2"));
    expectSameQuery(static_cast<TTestQuery*>(form->FindComponent("Query1")), q1);
    expectSameQuery(static_cast<TTestQuery*>(form->FindComponent("Query2")), q2);
    ASSERT_EQ(q1->ComponentCount(), 1);
    auto* d1 = dynamic_cast<TTestQuery*>(q1->Components(0));
    expectSameQuery(static_cast<TTestQuery*>(form->FindComponent("Query1")->Components(0)), d1);

    // References point into the new tree, not the old one.
    EXPECT_EQ(q2->Master(), q1);
    EXPECT_EQ(q1->Peer(), q2);
    EXPECT_EQ(q2->Peer(), d1);
    EXPECT_EQ(d1->Master(), q1);
    // Loaded ran once per component, after the references were resolved.
    EXPECT_EQ(q1->loadedCalls, 1);
    EXPECT_EQ(q2->loadedCalls, 1);
    EXPECT_EQ(d1->loadedCalls, 1);
    EXPECT_EQ(q2->masterAtLoaded, q1);
    EXPECT_FALSE(q2->ComponentState().Contains(csLoading));
    EXPECT_FALSE(form2->ComponentState().Contains(csReading));
    // Events are bound to the new root's handlers.
    q1->OnFire()(q1);
    EXPECT_EQ(form2->fired, 1);
    EXPECT_EQ(form2->lastSender, q1);
    EXPECT_EQ(form->fired, 0);
    // Binary, Null and float values of the variant property kept their kinds.
    auto* extra = static_cast<TTestItem*>(q1->Extra()->Items(0));
    EXPECT_EQ(extra->Value().AsBytes(), std::string("\x00\xff", 2));
    EXPECT_TRUE(VarIsNull(static_cast<TTestItem*>(q1->Items()->Items(1))->Value()));

    // Writing the copy gives the same text.
    EXPECT_EQ(ComponentToText(form2), text);
}

TEST_F(CoreStreaming, ReadsIntoAnExistingRootThroughStreams) {
    auto form = buildTree();
    TMemoryStream stream;
    WriteComponentText(&stream, form.get());
    stream.SetPosition(0);
    TTestForm target(nullptr);
    EXPECT_EQ(ReadComponentText(&stream, &target), &target);
    EXPECT_EQ(target.Name(), "Form1");
    EXPECT_EQ(target.ComponentCount(), 2);
    // The class in the text must match the instance.
    TTestQuery wrong(nullptr);
    EXPECT_THROW(TextToComponent(ComponentToText(form.get()), &wrong), EReadError);
    EXPECT_EQ(wrong.ComponentCount(), 0);
}

TEST_F(CoreStreaming, InheritedFormsWriteOnlyDifferences) {
    auto ancestor = buildTree();
    auto form = buildTree();
    std::string same = ComponentToText(form.get(), ancestor.get());
    EXPECT_EQ(same, "inherited Form1: TTestForm\n"
                    "  inherited Query1: TTestQuery\n"
                    "    inherited Detail1: TTestQuery\n"
                    "    end\n"
                    "  end\n"
                    "  inherited Query2: TTestQuery\n"
                    "  end\n"
                    "end\n");

    auto* q1 = static_cast<TTestQuery*>(form->FindComponent("Query1"));
    q1->SetRatio(2.25);
    static_cast<TTestItem*>(q1->Extra()->Items(0))->SetSize(3);
    q1->SetOnFire(form->Method<void(TObject*)>("OtherFire"));
    std::string diff = ComponentToText(form.get(), ancestor.get());
    EXPECT_NE(diff.find("Ratio = 2.25"), std::string::npos) << diff;
    EXPECT_NE(diff.find("ExtraData = <"), std::string::npos)
        << diff; // the defined property saw the ancestor
    EXPECT_NE(diff.find("OnFire = OtherFire"), std::string::npos) << diff;
    EXPECT_EQ(diff.find("SQL.Strings"), std::string::npos) << diff;
    EXPECT_EQ(diff.find("Items = <"), std::string::npos) << diff;

    // Reading the differences over a copy of the ancestor gives the descendant.
    auto base = buildTree();
    TextToComponent(diff, base.get());
    auto* read = static_cast<TTestQuery*>(base->FindComponent("Query1"));
    EXPECT_EQ(read->Ratio(), 2.25);
    EXPECT_EQ(static_cast<TTestItem*>(read->Extra()->Items(0))->Size(), 3);
    read->OnFire()(read);
    EXPECT_EQ(static_cast<TTestForm*>(base.get())->fired, 100);
}

TEST_F(CoreStreaming, EveryTruncationIsRefusedWithoutLeftovers) {
    std::string text;
    {
        auto form = buildTree();
        text = ComponentToText(form.get());
    }
    ASSERT_EQ(g_alive, 0);
    // Cut after every token boundary candidate: no prefix short of the whole text is valid
    // (trailing blanks aside), and none leaves a component alive.
    std::string trimmed = TrimRight(text);
    for (size_t len = 0; len < trimmed.size(); ++len) {
        std::string cut = trimmed.substr(0, len);
        try {
            std::unique_ptr<TComponent> root(TextToComponent(cut));
            ADD_FAILURE() << "accepted a truncated text of " << len << " bytes";
        } catch (const EReadError&) {
        }
        ASSERT_EQ(g_alive, 0) << "after a text cut at " << len;
    }
}

TEST_F(CoreStreaming, DamagedTextRaisesReadError) {
    const std::string good = "object Form1: TTestForm\n"
                             "  object Query1: TTestQuery\n"
                             "    DatabaseName = 'pubs'\n"
                             "    Master = Query2\n"
                             "  end\n"
                             "  object Query2: TTestQuery\n"
                             "  end\n"
                             "end\n";
    {
        std::unique_ptr<TComponent> ok(TextToComponent(good));
        EXPECT_EQ(static_cast<TTestQuery*>(ok->FindComponent("Query1"))->Master(),
                  ok->FindComponent("Query2"));
    }
    struct Case {
        std::string from, to, message;
    };
    const Case cases[] = {
        {"TTestQuery\n    Data", "TNoSuchClass\n    Data", "Line 2: Class TNoSuchClass not found"},
        {"DatabaseName = 'pubs'", "NoSuchProp = 1",
         "Error reading Query1.NoSuchProp: Property NoSuchProp does not exist"},
        {"DatabaseName = 'pubs'", "DatabaseName = 12", "Line 3: String expected"},
        {"DatabaseName = 'pubs'", "DatabaseName = 'boom'",
         "Error reading Query1.DatabaseName: bad database name"},
        {"DatabaseName = 'pubs'", "Mode = mdTurbo",
         "Error reading Query1.Mode: Invalid property value mdTurbo"},
        {"DatabaseName = 'pubs'", "Flags = [flA flB]",
         "Error reading Query1.Flags: Invalid property value"},
        {"DatabaseName = 'pubs'", "DatabaseName = 'pubs", "Line 3: Unterminated string"},
        {"DatabaseName = 'pubs'", "DatabaseName 'pubs'", "Line 3: '=' expected after DatabaseName"},
        {"DatabaseName = 'pubs'", "OnFire = NoHandler",
         "Error reading Query1.OnFire: Method NoHandler not found in TTestForm"},
        {"DatabaseName = 'pubs'", "Items = < item Label = 1 end >", "Line 3: String expected"},
        {"DatabaseName = 'pubs'", "Items = < thing end >", "Line 3: 'item' expected"},
        {"DatabaseName = 'pubs'", "SQL.Strings = ( 'a' ", "Line 4: String expected"},
        {"DatabaseName = 'pubs'", "SQL.Nothing = 1",
         "Error reading Query1.SQL.Nothing: Property Nothing does not exist"},
        {"Master = Query2", "Master = Query9",
         "Error reading Query1.Master: Unresolved reference to Query9"},
        {"object Query2", "object Query1", "Line 6: A component named Query1 already exists"},
        {"end\n", "end\nend\n", "Line 7: Text after the end of the root component"},
        {"DatabaseName = 'pubs'", "DatabaseName = #300", "Line 3: Invalid character code"},
        {"DatabaseName = 'pubs'", "Ratio = 1.2.3", "Line 3: Invalid number"},
        {"DatabaseName = 'pubs'", "Tag = 99999999999999999999", "Line 3: Invalid number"},
        {"DatabaseName = 'pubs'", "Items.Label = 'x'",
         "Error reading Query1.Items.Label: Property Label does not exist"},
        {"DatabaseName = 'pubs'", "DatabaseName = @", "Line 3: Invalid character '@'"},
    };
    for (const Case& c : cases) {
        std::string bad = good;
        size_t at = bad.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        bad.replace(at, c.from.size(), c.to);
        try {
            std::unique_ptr<TComponent> root(TextToComponent(bad));
            ADD_FAILURE() << "accepted: " << bad;
        } catch (const EReadError& e) {
            EXPECT_EQ(e.Message(), c.message) << bad;
        }
        EXPECT_EQ(g_alive, 0) << bad;
    }

    // Reading into an existing root: the components created for it are removed again and
    // the root is left out of the loading state.
    TTestForm target(nullptr);
    std::string bad = good;
    bad.replace(bad.find("Master = Query2"), 15, "Master = Nobody");
    EXPECT_THROW(TextToComponent(bad, &target), EReadError);
    EXPECT_EQ(target.ComponentCount(), 0);
    EXPECT_FALSE(target.ComponentState().Contains(csLoading));
    EXPECT_FALSE(target.ComponentState().Contains(csReading));
}

TEST_F(CoreStreaming, DeepNestingIsRefused) {
    std::string deep = "object Form1: TTestForm\n  object Q: TTestQuery\n  Tag = ";
    for (int i = 0; i < 5000; ++i)
        deep += "(";
    deep += "\n";
    EXPECT_THROW(TextToComponent(deep), EReadError);
    std::string nested = "object Form1: TTestForm\n";
    for (int i = 0; i < 1000; ++i)
        nested += "object Q" + std::to_string(i) + ": TTestQuery\n";
    EXPECT_THROW(TextToComponent(nested), EReadError);
    EXPECT_EQ(g_alive, 0);
}

TEST_F(CoreStreaming, ValuesSurviveTheTextForm) {
    TTestForm form(nullptr);
    form.SetName("Form1");
    std::string allBytes;
    for (int b = 0; b < 256; ++b)
        allBytes += static_cast<char>(b);
    form.SetCaption(allBytes);
    form.SetTag(-9223372036854775807LL);
    const double ratios[] = {0.1, 1e300, -2.5e-300, 123456789.125, 1.0 / 3.0};
    for (double r : ratios) {
        auto* q = new TTestQuery(&form);
        q->SetName("Q" + std::to_string(form.ComponentCount()));
        q->SetRatio(r);
        q->Options()->SetLevel(-3);
        q->Options()->Names()->Add("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 'quoted'");
        q->Options()->Names()->Add("");
        auto* item = static_cast<TTestItem*>(q->Items()->Add());
        item->SetValue(VarArrayOf(
            {1, "two", 3.5, true, Null(), VarFromCurrency(1.25), VarFromDateTime(36526.5)}));
    }
    std::string text = ComponentToText(&form);
    EXPECT_NE(text.find("Options.Level = -3"), std::string::npos) << text;
    EXPECT_NE(text.find("Options.Names.Strings = ("), std::string::npos) << text;

    std::unique_ptr<TComponent> copy(TextToComponent(text));
    auto* form2 = static_cast<TTestForm*>(copy.get());
    EXPECT_EQ(form2->Caption(), allBytes);
    EXPECT_EQ(form2->Tag(), -9223372036854775807LL);
    ASSERT_EQ(form2->ComponentCount(), 5);
    for (int i = 0; i < 5; ++i) {
        auto* q = static_cast<TTestQuery*>(form2->Components(i));
        EXPECT_EQ(q->Ratio(), ratios[i]); // exact, not just close
        EXPECT_EQ(q->Options()->Level(), -3);
        EXPECT_TRUE(q->Options()->Names()->Equals(
            static_cast<TTestQuery*>(form.Components(i))->Options()->Names()));
        Variant v = static_cast<TTestItem*>(q->Items()->Items(0))->Value();
        ASSERT_EQ(VarArrayDimCount(v), 1);
        EXPECT_EQ(VarArrayGet(v, {1}).AsString(), "two");
        EXPECT_TRUE(VarIsNull(VarArrayGet(v, {4})));
        EXPECT_EQ(VarArrayGet(v, {5}).VarType(), varCurrency);
        EXPECT_EQ(VarArrayGet(v, {6}).VarType(), varDate);
        EXPECT_EQ(VarArrayGet(v, {6}).AsDateTime(), 36526.5);
    }
}

TEST_F(CoreStreaming, AnonymousHandlersAndClearedReferencesAreNotWritten) {
    TTestForm form(nullptr);
    form.SetName("Form1");
    auto* q = new TTestQuery(&form);
    q->SetName("Query1");
    q->SetOnFire([](TObject*) {}); // no name: cannot be resolved on reading
    auto* outside = new TTestQuery(nullptr);
    q->SetPeer(outside); // unnamed component outside the tree
    auto* internal = new TTestQuery(q);
    internal->SetName("Internal");
    internal->SetTag(-1);
    std::string text = ComponentToText(&form);
    EXPECT_EQ(text.find("Internal"), std::string::npos) << text;
    EXPECT_EQ(text.find("OnFire"), std::string::npos) << text;
    EXPECT_EQ(text.find("Peer"), std::string::npos) << text;
    delete outside;
    std::unique_ptr<TComponent> copy(TextToComponent(text));
    EXPECT_FALSE(static_cast<TTestQuery*>(copy->Components(0))->OnFire());
}
