// TDataSetModel over in-memory results: Qt's model tester through a dataset's whole life,
// what the cells show, edits and their refusals, header sorting, the cursor and a view's
// current row following each other, and random reads that leave the cursor alone.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <random>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/qt/DataSetCursor.h"
#include "tovrin5/qt/DataSetModel.h"
#include "qt_support.h"

namespace host = tovrin::host;

namespace {

using tovrin::qt::TDataSetModel;
using namespace qttest;

/// A column's display texts, "<null>" for a cell that shows NULL.
QStringList columnTexts(const TDataSetModel& model, int column) {
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex cell = model.index(row, column);
        out << (model.data(cell, TDataSetModel::NullRole).toBool() ? QStringLiteral("<null>")
                                                                   : model.data(cell).toString());
    }
    return out;
}

TEST(DataSetModel, ModelTesterReportsNothingOverOpenSortFilterEditInsertDeleteCloseAndReopen) {
    ModelTesterReports reports;
    auto ds = sampleResult();
    TDataSetModel model(ds.get());
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    EXPECT_EQ(model.rowCount(), 0);

    ds->Open();
    ASSERT_EQ(model.rowCount(), 5);
    ASSERT_EQ(model.columnCount(), 4);
    EXPECT_EQ(columnTexts(model, 1), QStringList({"pear", "<null>", "apple", "fig", "banana"}));

    model.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(columnTexts(model, 0), QStringList({"5", "4", "3", "2", "1"}));

    // Odd ids only: a filtered dataset is not numbered by RecNo and is walked instead.
    ds->SetOnFilterRecord([](host::TDataSet* d, bool& accept) {
        accept = d->FieldByName("id")->AsInteger() % 2 == 1;
    });
    ds->SetFiltered(true);
    EXPECT_EQ(columnTexts(model, 0), QStringList({"5", "3", "1"}));
    EXPECT_EQ(columnTexts(model, 1), QStringList({"banana", "apple", "pear"}));

    EXPECT_TRUE(model.setData(model.index(1, 1), QStringLiteral("cherry")));
    EXPECT_EQ(ds->State(), host::dsBrowse);
    EXPECT_EQ(columnTexts(model, 1), QStringList({"banana", "cherry", "pear"}));

    // A new record shows as a row of its own at once, and keeps it when posted.
    ASSERT_TRUE(model.insertRows(1, 1));
    EXPECT_EQ(ds->State(), host::dsInsert);
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.currentRow(), 1);
    EXPECT_TRUE(model.setData(model.index(1, 0), 7));
    EXPECT_TRUE(model.setData(model.index(1, 1), QStringLiteral("kiwi")));
    EXPECT_TRUE(model.submit());
    EXPECT_EQ(columnTexts(model, 0), QStringList({"5", "7", "3", "1"}));

    // A cancelled one goes again.
    ASSERT_TRUE(model.insertRows(0, 1));
    EXPECT_EQ(model.rowCount(), 5);
    model.revert();
    EXPECT_EQ(columnTexts(model, 0), QStringList({"5", "7", "3", "1"}));

    ASSERT_TRUE(model.removeRows(0, 1));
    EXPECT_EQ(columnTexts(model, 0), QStringList({"7", "3", "1"}));

    // Changes made on the dataset itself reach the model too.
    ds->Append();
    ds->FieldByName("id")->SetAsInteger(9);
    ds->Post();
    EXPECT_EQ(columnTexts(model, 0), QStringList({"7", "3", "1", "9"}));
    ds->First();
    ds->Delete();
    EXPECT_EQ(columnTexts(model, 0), QStringList({"3", "1", "9"}));

    ds->SetFiltered(false);
    EXPECT_EQ(columnTexts(model, 0), QStringList({"4", "3", "2", "1", "9"}));

    ds->Close();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    ds->Open();
    EXPECT_EQ(columnTexts(model, 0), QStringList({"1", "2", "3", "4", "5"}));

    EXPECT_TRUE(ModelTesterReports::reports().isEmpty())
        << ModelTesterReports::reports().join('\n').toStdString();
}

TEST(DataSetModel, CellsShowTextTypedValueAlignmentAndNullDistinctly) {
    auto ds = sampleResult();
    ds->Open();
    ds->FieldByName("price")->SetDisplayLabel("Price (EUR)");
    TDataSetModel model(ds.get());

    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Price (EUR)");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal, TDataSetModel::FieldNameRole).toString(),
              "price");

    struct Case {
        int row, column;
        QVariant display;
        QVariant edit;
        int alignment;
    };
    const int right = Qt::AlignRight | Qt::AlignVCenter;
    const int left = Qt::AlignLeft | Qt::AlignVCenter;
    const Case cases[] = {
        {0, 0, "1", qlonglong(1), right},
        {0, 2, "2.5", 2.5, right},
        {0, 1, "pear", "pear", left},
        {1, 1, QVariant(), QVariant(), left},  // NULL text
        {2, 2, QVariant(), QVariant(), right}, // NULL number
        {3, 3, "", "", left},                  // an empty text is not NULL
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "row " << c.row << " column " << c.column);
        const QModelIndex cell = model.index(c.row, c.column);
        EXPECT_EQ(model.data(cell), c.display);
        EXPECT_EQ(model.data(cell, Qt::EditRole), c.edit);
        EXPECT_EQ(model.data(cell, Qt::TextAlignmentRole).toInt(), c.alignment);
        const bool isNull = !c.display.isValid();
        EXPECT_EQ(model.data(cell, TDataSetModel::NullRole).toBool(), isNull);
        // A NULL cell has a background of its own; an empty text has none.
        EXPECT_EQ(model.data(cell, Qt::BackgroundRole).isValid(), isNull);
    }
    EXPECT_EQ(model.data(model.index(1, 0), Qt::EditRole).userType(), QMetaType::LongLong);
    // Long and multi-line texts have a tooltip with the whole text; short ones none.
    EXPECT_EQ(model.data(model.index(1, 3), Qt::ToolTipRole).toString(), QString(120, 'x'));
    EXPECT_EQ(model.data(model.index(2, 3), Qt::ToolTipRole).toString(), "multi\nline");
    EXPECT_FALSE(model.data(model.index(0, 3), Qt::ToolTipRole).isValid());
}

TEST(DataSetModel, EditsPostThroughTheDatasetAndRefusedOnesAreCancelled) {
    auto ds = sampleResult();
    ds->Open();
    ds->FieldByName("note")->SetRequired(true);
    TDataSetModel model(ds.get());
    QSignalSpy refusals(&model, &TDataSetModel::editRefused);

    struct Case {
        int column;
        QVariant value;
        bool accepted;
        QString shown; // what row 0 shows afterwards ("<null>": NULL)
    };
    const Case cases[] = {
        {0, 42, true, "42"},
        {0, QStringLiteral("17"), true, "17"},
        {0, QStringLiteral("abc"), false, "17"}, // a conversion error
        {2, QStringLiteral("3.75"), true, "3.75"},
        {2, QStringLiteral(""), true, "<null>"}, // empty text in a number: NULL
        {1, QVariant(), true, "<null>"},
        {3, QVariant(), false, "short"}, // a required field
        {1, QStringLiteral("quince"), true, "quince"},
    };
    int refused = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "column " << c.column << " value " << c.value.toString().toStdString());
        EXPECT_EQ(model.setData(model.index(0, c.column), c.value), c.accepted);
        EXPECT_EQ(ds->State(), host::dsBrowse);
        EXPECT_EQ(columnTexts(model, c.column)[0], c.shown);
        EXPECT_EQ(model.lastError().isEmpty(), c.accepted) << model.lastError().toStdString();
        refused += c.accepted ? 0 : 1;
        EXPECT_EQ(refusals.count(), refused);
    }
    EXPECT_EQ(ds->RecordCount(), 5);

    // Editing a record while another one is being edited posts the other one first.
    ds->Last();
    ds->Edit();
    ds->FieldByName("name")->SetAsString("mango");
    EXPECT_TRUE(model.setData(model.index(0, 1), QStringLiteral("plum")));
    EXPECT_EQ(columnTexts(model, 1), QStringList({"plum", "<null>", "apple", "fig", "mango"}));

    // Read-only fields and datasets are not editable.
    ds->FieldByName("id")->SetReadOnly(true);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, 0), 99));
    ds->SetReadOnly(true);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, 1), QStringLiteral("nope")));
    EXPECT_EQ(columnTexts(model, 1)[0], "plum");
}

TEST(DataSetModel, HeaderSortOrdersTheDatasetBothWays) {
    auto ds = sampleResult();
    ds->Open();
    TDataSetModel model(ds.get());
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    model.sort(1, Qt::AscendingOrder);
    EXPECT_EQ(columnTexts(model, 1), QStringList({"<null>", "apple", "banana", "fig", "pear"}));
    model.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(columnTexts(model, 1), QStringList({"pear", "fig", "banana", "apple", "<null>"}));
    model.sort(2, Qt::DescendingOrder);
    EXPECT_EQ(columnTexts(model, 0), QStringList({"2", "4", "1", "5", "3"}));
    EXPECT_EQ(model.sortColumn(), 2);
    EXPECT_EQ(model.sortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(resets.count(), 3);
    // The dataset itself is sorted: walking it gives the grid's order.
    EXPECT_EQ(fetchsupport::column(*ds, "id"), fetchsupport::Strings({"2", "4", "1", "5", "3"}));
}

TEST(DataSetModel, TheCursorAndTheViewsCurrentRowFollowEachOther) {
    auto ds = sampleResult();
    ds->Open();
    TDataSetModel model(ds.get());
    QTableView view;
    view.setModel(&model);
    tovrin::qt::TDataSetCursor cursor(&model, view.selectionModel(), &view);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.currentIndex().row(), 0);

    // A click moves the cursor.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      view.visualRect(model.index(3, 1)).center());
    EXPECT_EQ(ds->RecNo(), 4);
    EXPECT_EQ(ds->FieldByName("name")->AsString(), "fig");
    QTest::keyClick(&view, Qt::Key_Up);
    EXPECT_EQ(ds->FieldByName("name")->AsString(), "apple");

    // Moving the cursor in code moves the view's current row.
    ds->First();
    EXPECT_EQ(view.currentIndex().row(), 0);
    ds->Next();
    ds->Next();
    EXPECT_EQ(view.currentIndex().row(), 2);
    ASSERT_TRUE(ds->Locate("name", "banana", {}));
    EXPECT_EQ(view.currentIndex().row(), 4);
    EXPECT_TRUE(view.selectionModel()->isRowSelected(4, QModelIndex()));

    // After a sort the row of the record under the cursor is current.
    model.sort(1, Qt::AscendingOrder);
    EXPECT_EQ(view.currentIndex().row(), ds->RecNo() - 1);
    EXPECT_EQ(model.data(model.index(view.currentIndex().row(), 1)).toString(),
              QString::fromStdString(ds->FieldByName("name")->AsString()));

    // A pending edit that cannot be posted keeps the cursor, and the view, where they were.
    ds->FieldByName("note")->SetRequired(true);
    ds->Edit();
    ds->FieldByName("note")->Clear();
    const int before = view.currentIndex().row();
    view.setCurrentIndex(model.index(0, 0));
    EXPECT_EQ(view.currentIndex().row(), before);
    EXPECT_FALSE(model.lastError().isEmpty());
}

TEST(DataSetModel, RandomReadsOfManyRowsShowTheRightRecordsAndLeaveTheCursorAlone) {
    constexpr int kRows = 200000;
    auto ds = std::make_unique<MemoryResult>(
        nullptr, std::vector<Column>{{"n", host::ftInteger, 0}, {"label", host::ftString, 12}});
    for (int i = 0; i < kRows; ++i)
        ds->AddRow({i * 3, "r" + std::to_string(i)});
    ds->Open();
    TDataSetModel reader(ds.get());
    TDataSetModel other(ds.get());
    QSignalSpy otherChanges(&other, &QAbstractItemModel::dataChanged);
    QSignalSpy otherResets(&other, &QAbstractItemModel::modelReset);
    QSignalSpy readerMoves(&reader, &TDataSetModel::currentRowChanged);
    ds->MoveBy(1234);
    const int recNo = ds->RecNo();
    readerMoves.clear();

    std::mt19937 random(7);
    std::uniform_int_distribution<int> anyRow(0, kRows - 1);
    for (int i = 0; i < 2000; ++i) {
        const int row = anyRow(random);
        ASSERT_EQ(reader.data(reader.index(row, 0)).toInt(), row * 3) << row;
        ASSERT_EQ(reader.data(reader.index(row, 1)).toString(), QString("r%1").arg(row)) << row;
    }
    // Row after row, both ways, as a view scrolls.
    for (int row = kRows - 300; row < kRows; ++row)
        ASSERT_EQ(reader.data(reader.index(row, 0)).toInt(), row * 3) << row;
    for (int row = 500; row >= 0; --row)
        ASSERT_EQ(reader.data(reader.index(row, 1)).toString(), QString("r%1").arg(row)) << row;

    EXPECT_EQ(ds->RecNo(), recNo);
    EXPECT_EQ(reader.currentRow(), recNo - 1);
    EXPECT_EQ(readerMoves.count(), 0);
    // Another model on the same dataset does not take the reads for changes (two views
    // would otherwise make each other read again for ever).
    EXPECT_EQ(otherChanges.count(), 0);
    EXPECT_EQ(otherResets.count(), 0);
    // The cache stays bounded however many rows were read.
    EXPECT_LT(reader.cacheBytes(), std::size_t{4} << 20);
}

} // namespace
