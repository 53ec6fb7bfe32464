// A query's parameters in the component stream (ParamData): names, types, values and
// order survive saving and loading; inherited forms write them only when they differ.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybSqlParams.h"

using namespace tovrin::host;
using namespace tovrin;

namespace {

class TSearchForm : public TComponent {
public:
    explicit TSearchForm(TComponent* owner) : TComponent(owner) {}
    [[nodiscard]] std::string ClassName() const override { return "TSearchForm"; }
};

void registerClasses() {
    RegisterComponentClass<TSearchForm>("TSearchForm");
    RegisterComponentClass<TSybQuery>("TSybQuery");
}

// A form holding Query1 with the given SQL.
std::unique_ptr<TSearchForm> formWith(const std::string& sql) {
    registerClasses();
    auto form = std::make_unique<TSearchForm>(nullptr);
    form->SetName("Form1");
    auto* q = new TSybQuery(form.get());
    q->SetName("Query1");
    q->SQL()->SetText(sql);
    return form;
}

TSybQuery* query(TComponent* form) {
    return dynamic_cast<TSybQuery*>(form->FindComponent("Query1"));
}

std::unique_ptr<TComponent> load(const std::string& text) {
    return std::unique_ptr<TComponent>(TextToComponent(text));
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from << " in\n" << text;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

const char* const kSql =
    "select * from titles where price > :low and type = :kind and pages = :pages";

} // namespace

TEST(ParamData, WrittenOnlyForAQueryWithParameters) {
    auto plain = formWith("select 1");
    EXPECT_EQ(ComponentToText(plain.get()).find("ParamData"), std::string::npos);
    auto nulls = formWith("select :a, :b");
    const std::string text = ComponentToText(nulls.get());
    EXPECT_NE(text.find("ParamData = <"), std::string::npos) << text;
    EXPECT_LT(text.find("Name = 'a'"), text.find("Name = 'b'")) << text;
    EXPECT_EQ(text.find("select 'x'"), std::string::npos); // the generated text is never stored
}

TEST(ParamData, SavedAndLoadedKeepsNamesTypesValuesAndOrder) {
    auto form = formWith(kSql);
    TSybQuery* q = query(form.get());
    q->ParamByName("low")->SetAsFloat(10.5);
    q->ParamByName("kind")->SetAsString("it's");
    q->ParamByName("kind")->SetParamType(ptInput);
    q->ParamByName("pages")->SetDataType(ftInteger); // a type, no value
    const std::string expected = q->GetSQLText();

    auto loaded = load(ComponentToText(form.get()));
    TSybQuery* copy = query(loaded.get());
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->ParamCount(), 3);
    TParams& p = *copy->Params();
    EXPECT_EQ(p[0]->Name(), "low");
    EXPECT_EQ(p[0]->DataType(), ftFloat);
    EXPECT_DOUBLE_EQ(p[0]->AsFloat(), 10.5);
    EXPECT_EQ(p[1]->Name(), "kind");
    EXPECT_EQ(p[1]->DataType(), ftString);
    EXPECT_EQ(p[1]->AsString(), "it's");
    EXPECT_EQ(p[1]->ParamType(), ptInput);
    EXPECT_EQ(p[2]->Name(), "pages");
    EXPECT_EQ(p[2]->DataType(), ftInteger);
    EXPECT_TRUE(p[2]->IsNull());
    EXPECT_EQ(copy->GetSQLText(), expected);
    EXPECT_NE(expected.find("price > 10.5 and type = 'it''s' and pages = NULL"), std::string::npos)
        << expected;
}

TEST(ParamData, MarkersPairWithStoredParametersByName) {
    auto form = formWith("select :a, :b");
    query(form.get())->ParamByName("a")->SetAsInteger(1);
    query(form.get())->ParamByName("b")->SetAsInteger(2);
    // The stored text names the parameters in the other order, one of them twice.
    const std::string text =
        replaced(ComponentToText(form.get()), "'select :a, :b'", "'select :b, :a, :b'");
    auto loaded = load(text);
    TSybQuery* copy = query(loaded.get());
    EXPECT_EQ(copy->ParamCount(), 2);
    EXPECT_EQ(copy->GetSQLText(), "select 2, 1, 2\n");
}

TEST(ParamData, AMarkerWithoutAStoredParameterFailsWhenTheTextIsBuilt) {
    auto form = formWith("select :a");
    query(form.get())->ParamByName("a")->SetAsInteger(1);
    const std::string text =
        replaced(ComponentToText(form.get()), "'select :a'", "'select :a, :b'");
    auto loaded = load(text);
    TSybQuery* copy = query(loaded.get());
    EXPECT_EQ(copy->ParamCount(), 1);
    EXPECT_EQ(copy->ParamMappings().size(), 2u);
    EXPECT_EQ(copy->ParamMappings()[1]->Param(), nullptr);
    try {
        (void)copy->GetSQLText();
        ADD_FAILURE() << "the text was built without a value for :b";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("'b'"), std::string::npos) << e.Message();
    }
}

TEST(ParamData, DamagedValueFailsTheLoad) {
    auto form = formWith("select :a");
    const std::string text =
        replaced(ComponentToText(form.get()), "ParamData = <", "ParamData = 'x' <");
    EXPECT_THROW(load(text), EReadError);
}

TEST(ParamData, InheritedFormWritesTheListOnlyWhenItDiffers) {
    auto ancestor = formWith(kSql);
    query(ancestor.get())->ParamByName("low")->SetAsFloat(1.5);
    auto form = formWith(kSql);
    query(form.get())->ParamByName("low")->SetAsFloat(1.5);

    std::string same = ComponentToText(form.get(), ancestor.get());
    EXPECT_EQ(same.find("ParamData"), std::string::npos) << same;

    query(form.get())->ParamByName("kind")->SetAsString("business");
    std::string diff = ComponentToText(form.get(), ancestor.get());
    EXPECT_NE(diff.find("ParamData = <"), std::string::npos) << diff;
    EXPECT_NE(diff.find("Name = 'low'"), std::string::npos) << diff; // the whole list
    EXPECT_NE(diff.find("Name = 'pages'"), std::string::npos) << diff;

    // Reading the differences over a copy of the ancestor gives the descendant's list.
    auto base = load(ComponentToText(ancestor.get()));
    TextToComponent(diff, base.get());
    TSybQuery* copy = query(base.get());
    EXPECT_DOUBLE_EQ(copy->ParamByName("low")->AsFloat(), 1.5);
    EXPECT_EQ(copy->ParamByName("kind")->AsString(), "business");
    EXPECT_TRUE(copy->ParamByName("pages")->IsNull());
}
