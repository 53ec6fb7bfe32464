// TDataSetModel's values and edits as a user meets them: whole texts, date-times with
// their milliseconds and decimals with their places whatever the locale, an edit that
// changes nothing, NULL for a field of any type, the update status of each row, a proxy
// that filters and sorts across edits, header sorting without a handler, and the row an
// insert makes current.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>

#include <ctime>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/DateTime.h"
#include "tovrin5/host/FieldsTyped.h"
#include "tovrin5/host/SysUtils.h"
#include "tovrin5/qt/DataSetCursor.h"
#include "tovrin5/qt/DataSetModel.h"
#include "tovrin5/qt/FieldValues.h"
#include "qt_support.h"

namespace host = tovrin::host;

namespace {

using tovrin::qt::TDataSetModel;
using namespace qttest;

const QString kLongText = QString(5000, 'a');

/// One record of each kind of value: id, a 5,000-character text, a date-time with
/// milliseconds, a date, a numeric(10,2), an amount of money, bytes.
std::unique_ptr<MemoryResult> typedResult() {
    auto result =
        std::make_unique<MemoryResult>(nullptr, std::vector<Column>{{"id", host::ftInteger, 0},
                                                                    {"note", host::ftMemo, 0},
                                                                    {"at", host::ftDateTime, 0},
                                                                    {"day", host::ftDate, 0},
                                                                    {"amount", host::ftBCD, 2},
                                                                    {"cost", host::ftBCD, 4},
                                                                    {"raw", host::ftVarBytes, 8}});
    const host::TDateTime at = host::EncodeDate(2024, 3, 5) + host::EncodeTime(10, 7, 11, 3);
    result->AddRow({1, kLongText.toStdString(), host::VarFromDateTime(at),
                    host::VarFromDateTime(host::EncodeDate(2024, 3, 5)), "16", "16.5",
                    std::string("\x00\x01\xff", 3)});
    result->AddRow(
        {2, "short", host::VarFromDateTime(at + 1), host::Null(), "-0.5", "0.1234", host::Null()});
    result->Open();
    dynamic_cast<host::TBCDField*>(result->FieldByName("cost"))->SetCurrency(true);
    return result;
}

QString shown(const TDataSetModel& model, int row, int column) {
    return model.data(model.index(row, column)).toString();
}

TEST(DataSetModelValues, ShowWholeValuesInOneFormWhateverTheLocale) {
    host::FormatSettings().ShortDateFormat = "dd/mm/yyyy"; // a day-first locale
    auto ds = typedResult();
    TDataSetModel model(ds.get());
    const QVariant note = model.data(model.index(0, 1), Qt::EditRole);
    EXPECT_EQ(note.toString(), kLongText); // never the shortened display
    EXPECT_LT(shown(model, 0, 1).size(), kLongText.size());

    EXPECT_EQ(shown(model, 0, 2), "2024-03-05 10:07:11.003");
    EXPECT_EQ(model.data(model.index(0, 2), Qt::EditRole).toDateTime().time().msec(), 3);
    EXPECT_EQ(shown(model, 0, 3), "2024-03-05");
    EXPECT_EQ(shown(model, 0, 4), "16.00");
    EXPECT_EQ(shown(model, 1, 4), "-0.50");
    EXPECT_EQ(shown(model, 0, 5), "16.50");  // money: at least two places
    EXPECT_EQ(shown(model, 1, 5), "0.1234"); // and every place it has
    EXPECT_EQ(shown(model, 0, 6), "0x0001ff");
}

TEST(DataSetModelValues, EditingBackWhatACellShowsChangesNothing) {
    auto ds = typedResult();
    TDataSetModel model(ds.get());
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < model.columnCount(); ++column) {
            SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
            const QModelIndex cell = model.index(row, column);
            const QVariant before = model.data(cell, Qt::EditRole);
            // As typed text, and as the typed value a delegate would hand back.
            const QVariant asText =
                before.isValid() ? QVariant(tovrin::qt::editText(before)) : QVariant();
            for (const QVariant& same : {asText, before}) {
                EXPECT_TRUE(model.setData(cell, same)) << model.lastError().toStdString();
                EXPECT_EQ(ds->State(), host::dsBrowse);
                EXPECT_EQ(model.data(cell, TDataSetModel::UpdateStatusRole).toInt(),
                          host::usUnmodified);
                EXPECT_EQ(model.data(cell, Qt::EditRole), before);
            }
        }
    }
    EXPECT_FALSE(ds->UpdatesPending());
}

TEST(DataSetModelValues, EditsKeepMillisecondsAndWholeTexts) {
    auto ds = typedResult();
    TDataSetModel model(ds.get());
    EXPECT_TRUE(model.setData(model.index(0, 2), QStringLiteral("2024-03-05 10:07:11.250")));
    ds->First();
    int h = 0, m = 0, s = 0, ms = 0;
    host::DecodeTime(ds->FieldByName("at")->AsDateTime(), h, m, s, ms);
    EXPECT_EQ(ms, 250);
    EXPECT_EQ(shown(model, 0, 2), "2024-03-05 10:07:11.250");
    EXPECT_TRUE(model.setData(model.index(0, 3), QStringLiteral("2025-12-31")));
    EXPECT_EQ(shown(model, 0, 3), "2025-12-31");

    // A long text edited at its end keeps every character before the edit.
    const QString edited = model.data(model.index(0, 1), Qt::EditRole).toString() + "Z";
    EXPECT_TRUE(model.setData(model.index(0, 1), edited));
    ds->First();
    EXPECT_EQ(ds->FieldByName("note")->AsString(), edited.toStdString());
    EXPECT_TRUE(model.setData(model.index(0, 4), QStringLiteral("16.25")));
    EXPECT_EQ(shown(model, 0, 4), "16.25");
}

/// A wall-clock time that the local time zone skips (a daylight-saving gap) is shown and
/// stored as it is, not moved by an hour.
TEST(DataSetModelValues, DateTimesInADaylightSavingGapKeepTheirHour) {
    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    auto ds = typedResult();
    TDataSetModel model(ds.get());
    EXPECT_TRUE(model.setData(model.index(1, 2), QStringLiteral("2024-03-31 02:30:00.500")));
    EXPECT_EQ(shown(model, 1, 2), "2024-03-31 02:30:00.500");
    ds->Last();
    int h = 0, m = 0, s = 0, ms = 0;
    host::DecodeTime(ds->FieldByName("at")->AsDateTime(), h, m, s, ms);
    EXPECT_EQ(h, 2);
    if (savedZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    tzset();
}

TEST(DataSetModelValues, ANullValueStoresNullInAFieldOfAnyType) {
    auto ds = typedResult();
    TDataSetModel model(ds.get());
    for (int column = 0; column < model.columnCount(); ++column) {
        SCOPED_TRACE(column);
        EXPECT_TRUE(model.setData(model.index(1, column), QVariant()))
            << model.lastError().toStdString();
        EXPECT_TRUE(model.data(model.index(1, column), TDataSetModel::NullRole).toBool());
        ds->Last();
        EXPECT_TRUE(ds->Fields().FieldByNumber(column + 1)->IsNull());
    }
    // An emptied varchar is an empty text, not NULL.
    auto names = sampleResult();
    names->Open();
    TDataSetModel nameModel(names.get());
    EXPECT_TRUE(nameModel.setData(nameModel.index(0, 1), QString("")));
    EXPECT_FALSE(nameModel.data(nameModel.index(0, 1), TDataSetModel::NullRole).toBool());
    EXPECT_TRUE(nameModel.setData(nameModel.index(0, 1), QVariant()));
    EXPECT_TRUE(nameModel.data(nameModel.index(0, 1), TDataSetModel::NullRole).toBool());
}

TEST(DataSetModelValues, UpdateStatusMarksChangedAndInsertedRows) {
    auto ds = sampleResult();
    ds->Open();
    TDataSetModel model(ds.get());
    const auto status = [&](int row) {
        return model.data(model.index(row, 0), TDataSetModel::UpdateStatusRole).toInt();
    };
    EXPECT_TRUE(model.setData(model.index(1, 1), QStringLiteral("lime")));
    ASSERT_TRUE(model.insertRows(3, 1));
    EXPECT_EQ(status(3), host::usInserted); // the row being entered
    EXPECT_EQ(status(1), host::usModified); // other rows keep their marks meanwhile
    EXPECT_EQ(shown(model, 1, 1), "lime");  // and their values
    EXPECT_TRUE(model.setData(model.index(3, 0), 42));
    EXPECT_TRUE(model.submit());
    EXPECT_EQ(status(0), host::usUnmodified);
    EXPECT_EQ(status(1), host::usModified);
    EXPECT_EQ(status(3), host::usInserted);
    EXPECT_EQ(status(4), host::usUnmodified);
}

/// Qt's sort-filter proxy over the model keeps filtering and sorting right across edits
/// (the model announces changed rows only when they can be read).
TEST(DataSetModelValues, AProxyKeepsItsFilterAndSortAcrossEdits) {
    ModelTesterReports reports;
    auto ds = sampleResult();
    ds->Open();
    TDataSetModel model(ds.get());
    QSortFilterProxyModel proxy;
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    proxy.setFilterKeyColumn(1);
    proxy.setFilterRegularExpression(QStringLiteral("a")); // pear, apple, banana
    proxy.sort(1, Qt::DescendingOrder);
    const auto names = [&] {
        QStringList out;
        for (int row = 0; row < proxy.rowCount(); ++row)
            out << proxy.index(row, 1).data().toString();
        return out;
    };
    ASSERT_EQ(names(), QStringList({"pear", "banana", "apple"}));

    // A row the proxy does not show, changed so that it still is not shown.
    EXPECT_TRUE(model.setData(model.index(3, 1), QStringLiteral("fig2")));
    EXPECT_EQ(names(), QStringList({"pear", "banana", "apple"}));
    // A shown row changed through the proxy moves to its place.
    EXPECT_TRUE(proxy.setData(proxy.index(0, 1), QStringLiteral("avocado")));
    EXPECT_EQ(names(), QStringList({"banana", "avocado", "apple"}));
    // A row that now passes the filter comes in; one that no longer does goes.
    EXPECT_TRUE(model.setData(model.index(3, 1), QStringLiteral("date")));
    EXPECT_TRUE(model.setData(model.index(4, 1), QStringLiteral("cherry")));
    EXPECT_EQ(names(), QStringList({"date", "avocado", "apple"}));
    // Changes made on the dataset itself reach the proxy once the event loop turns.
    ds->First();
    ds->Edit();
    ds->FieldByName("name")->SetAsString("zucchini");
    ds->Post();
    QCoreApplication::processEvents();
    EXPECT_EQ(names(), QStringList({"date", "apple"}));
    EXPECT_TRUE(reports.reports().isEmpty()) << reports.reports().join('\n').toStdString();
}

TEST(DataSetModelValues, HeaderSortNeedsNoHandlerAndAHandlerStillDecides) {
    auto ds = sampleResult();
    ds->Open();
    TDataSetModel model(ds.get());
    QTableView view;
    view.setModel(&model);
    view.setSortingEnabled(true); // sorts by the indicator's column at once
    view.sortByColumn(1, Qt::DescendingOrder);
    EXPECT_EQ(shown(model, 0, 1), "pear");
    EXPECT_EQ(model.sortColumn(), 1);
    view.sortByColumn(0, Qt::DescendingOrder);
    EXPECT_EQ(shown(model, 0, 0), "5");

    std::vector<std::string> asked;
    model.setSortHandler([&](host::TDataSet&, const std::string& fields, bool descending) {
        asked.push_back(fields + (descending ? " desc" : ""));
    });
    view.sortByColumn(2, Qt::AscendingOrder);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back(), "price");
    EXPECT_EQ(shown(model, 0, 0), "5"); // the handler did not sort
}

TEST(DataSetModelValues, AnInsertedRowBecomesTheViewsCurrentRowAndIsNotPostedByIt) {
    auto ds = sampleResult();
    ds->Open();
    TDataSetModel model(ds.get());
    QTableView view;
    view.setModel(&model);
    tovrin::qt::TDataSetCursor cursor(&model, view.selectionModel(), &view);
    view.setCurrentIndex(model.index(1, 1));
    ASSERT_EQ(ds->RecNo(), 2);

    ASSERT_TRUE(model.insertRows(1, 1)); // in front of the current record
    EXPECT_EQ(ds->State(), host::dsInsert);
    EXPECT_EQ(view.currentIndex().row(), 1);
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "*");
    EXPECT_TRUE(model.setData(view.currentIndex().siblingAtColumn(0), 9));
    view.setCurrentIndex(model.index(1, 1)); // a move within the row posts nothing
    EXPECT_EQ(ds->State(), host::dsInsert);
    EXPECT_TRUE(model.setData(view.currentIndex(), QStringLiteral("nine")));

    // Leaving the row posts it; the record that was current is untouched.
    view.setCurrentIndex(model.index(0, 1));
    EXPECT_EQ(ds->State(), host::dsBrowse);
    EXPECT_EQ(shown(model, 1, 0), "9");
    EXPECT_EQ(shown(model, 1, 1), "nine");
    EXPECT_EQ(shown(model, 2, 0), "2");
    EXPECT_TRUE(model.data(model.index(2, 1), TDataSetModel::NullRole).toBool());
}

} // namespace
