// A tour of the query component against the sample database: a query with a parameter,
// its rows printed, sorted and searched in memory, a second row result of the same batch
// read through OnNewDataSet, and a procedure's return status and output parameter.
//
//   query_demo --server DEVSERVER --user sa --password demo [--database pubs]
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <tovrin5/tovrin5.h>

namespace {

using namespace tovrin;

void printRows(TSybQuery& query, const char* heading) {
    std::printf("%s\n", heading);
    std::string line;
    for (int k = 0; k < query.FieldCount(); ++k) {
        line += (k ? " | " : "  ") + query.Fields()[k]->FieldName();
    }
    std::printf("%s\n", line.c_str());
    for (query.First(); !query.Eof(); query.Next()) {
        line.clear();
        for (int k = 0; k < query.FieldCount(); ++k) {
            host::TField* field = query.Fields()[k];
            line +=
                (k ? " | " : "  ") + (field->IsNull() ? std::string("NULL") : field->AsString());
        }
        std::printf("%s\n", line.c_str());
    }
}

int run(int argc, char** argv) {
    TSybConnect connection(nullptr);
    connection.SetDatabaseName("DEMO");
    connection.SetApplicationName("query_demo");
    connection.SetDatabase("pubs");
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--server")
            connection.SetServerName(value);
        else if (option == "--user")
            connection.SetUserName(value);
        else if (option == "--password")
            connection.SetPassword(value);
        else if (option == "--database")
            connection.SetDatabase(value);
    }
    connection.SetOnServerMessage([](const TSybMessage* message, bool&) {
        std::printf("server says: %s\n", message->Text().c_str());
    });
    connection.Connect();

    // One batch, two row results: the titles above a price, then a summary. The query
    // shows the first; the second arrives in a query created for it.
    TSybQuery titles(nullptr);
    titles.SetName("Titles");
    titles.SetDatabaseName("DEMO");
    titles.SQL()->Add("select title_id, title, price from titles where price > :min_price");
    titles.SQL()->Add("order by title_id");
    titles.SQL()->Add("select count(*) as titles, max(price) as highest from titles");
    titles.ParamByName("min_price")->SetAsFloat(10.0);
    TSybQuery* summary = nullptr;
    titles.SetOnNewDataSet([&summary](TSybQuery* dataSet) { summary = dataSet; });
    std::printf("SQL sent: %s", titles.GetSQLText().c_str());
    titles.Open();
    printRows(titles, "\n-- titles priced above 10, in title_id order");

    titles.SortOn("price", TBTCompareOptions{btcoDescending});
    printRows(titles, "\n-- the same rows sorted in memory by price, highest first");

    titles.Last();
    const std::string wanted = titles.FieldByName("title")->AsString().substr(0, 5);
    host::TLocateOptions options;
    options.Include(host::loCaseInsensitive).Include(host::loPartialKey);
    if (titles.Locate("title", host::Variant(wanted), options)) {
        std::printf("\nLocate title starting with \"%s\": %s costs %s\n", wanted.c_str(),
                    titles.FieldByName("title_id")->AsString().c_str(),
                    titles.FieldByName("price")->AsString().c_str());
    }

    if (summary != nullptr) {
        printRows(*summary, "\n-- the batch's second row result, read through OnNewDataSet");
    }

    // A procedure: rows, an output parameter and a return status.
    TSybQuery procedure(nullptr);
    procedure.SetDatabaseName("DEMO");
    procedure.SQL()->SetText("declare @count int\nexec authors_in_state :state, @count output");
    procedure.ParamByName("state")->SetAsString("CA");
    procedure.Open();
    printRows(procedure, "\n-- authors_in_state 'CA'");
    std::printf("return status %d, output parameters:", procedure.ReturnStatus());
    for (int k = 0; k < procedure.OutputParamCount(); ++k) {
        std::printf(" %s = %s", procedure.OutputParam(k)->GetName().c_str(),
                    procedure.OutputParamValue(k).AsString().c_str());
    }
    std::printf("\n");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "query_demo: %s\n", e.what());
        return 1;
    }
}
