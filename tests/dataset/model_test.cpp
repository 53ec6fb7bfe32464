// A model test of the dataset on a query over rows made without a server (the model and
// the sequences: model_support.h). CI runs a fixed number of seeded sequences; a longer run:
//   dataset_tests --gtest_filter='Model.*' --sequences 100000 --seed 1
#include <gtest/gtest.h>

#include "dataset_support.h"
#include "model_support.h"

namespace dstest {
namespace {

TEST(Model, RandomSequencesAgreeWithTheReference) {
    modeltest::runModel(
        [](const std::vector<modeltest::MRecord>& rows, std::string& setup) {
            auto q = std::make_unique<TestQuery>(
                nullptr,
                std::vector<Column>{{"K", ftInteger}, {"N", ftInteger}, {"S", ftString, 8}});
            setup = "TestQuery q(nullptr, {{\"K\", ftInteger}, {\"N\", ftInteger}, {\"S\", "
                    "ftString, 8}});\n";
            for (const modeltest::MRecord& r : rows) {
                q->AddRow({r.k, r.n ? Variant(*r.n) : Null(), r.s ? Variant(*r.s) : Null()});
                setup += "q.AddRow({" + std::to_string(r.k) + ", " + modeltest::valueLiteral(r.n) +
                         ", " + modeltest::textLiteral(r.s) + "});\n";
            }
            return std::unique_ptr<TSybQuery>(std::move(q));
        },
        300);
}

// Faults the model test found, each as its shrunk sequence.

TEST(ModelFound, CaseInsensitiveLikeFoldsAccentedCapitals) {
    TestQuery q(nullptr, {{"K", ftInteger}, {"N", ftInteger}, {"S", ftString, 8}});
    q.AddRow({2, 2, "\xC3\xA4"});
    q.Open();
    q.SetOnFilterRecord(
        [](TDataSet* ds, bool& accept) { accept = ds->FieldByName("N")->AsInteger() % 2 == 0; });
    q.SetFiltered(true);
    q.SetFilterOptions(TFilterOptions::FromBits(1));
    q.SetFilter("NOT (NOT (S LIKE '\xC3\x84%'))");
    EXPECT_EQ(q.RecordCount(), 1);
    EXPECT_FALSE(q.IsEmpty());
}

} // namespace
} // namespace dstest
