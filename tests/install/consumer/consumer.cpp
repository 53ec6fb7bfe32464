// A small application of the installed package: logs in, runs a query with a parameter
// and prints the value it read.
//
//   consumer SERVER USER PASSWORD      (prints "doubled = 42")
#include <exception>
#include <iostream>

#include <tovrin5/tovrin5.h>

// The package claims no global name: an application keeps its own, even "host".
static const char* host = "consumer";

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: " << host << " SERVER USER PASSWORD\n";
        return 2;
    }
    try {
        tovrin::TSybConnect connection(nullptr);
        connection.SetServerName(argv[1]);
        connection.SetUserName(argv[2]);
        connection.SetPassword(argv[3]);
        connection.Connect();

        tovrin::TSybQuery query(nullptr);
        query.SetDatabaseName(connection.DatabaseName());
        tovrin::host::TStringList sql;
        sql.SetText("select :n * 2 as doubled");
        query.SetSQL(&sql);
        query.Params()->ParamByName("n")->SetAsInteger(21);
        query.Open();
        std::cout << "doubled = " << query.FieldByName("doubled")->AsInteger() << std::endl;
        query.Close();
        connection.Disconnect();
    } catch (const std::exception& e) {
        std::cerr << "consumer: " << e.what() << std::endl;
        return 1;
    }
    return 0;
}
