// The package in the client comparison: a TSybQuery opened on the result, which reads
// every row into stored records, the way an application uses it.
//
//   compare_query SERVER USER PASSWORD TEXTSIZE REPEAT SQL [--memory]
//
// Logs in with a TSybConnect, runs "set textsize TEXTSIZE" when TEXTSIZE is above 0, then
// opens and closes a query on SQL REPEAT times and prints "rows=<all records read>".
// With --memory it also prints, for the first open, the stored record size and what the
// open query took per record: the growth of the resident set up to its peak during the
// open, and the growth still held once it is open.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"

namespace {

// A line "Name:   value kB" of /proc/self/status, in bytes; 0 when absent.
long long statusBytes(const char* name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(name);
    while (std::getline(status, line)) {
        if (line.compare(0, length, name) == 0 && line.size() > length && line[length] == ':') {
            return std::atoll(line.c_str() + length + 1) * 1024;
        }
    }
    return 0;
}

// Starts a new peak of the resident set (VmHWM) at the current size.
void resetPeakResidentSet() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 7 && !(argc == 8 && std::strcmp(argv[7], "--memory") == 0)) {
        std::fprintf(stderr,
                     "usage: compare_query SERVER USER PASSWORD TEXTSIZE REPEAT SQL [--memory]\n");
        return 2;
    }
    const long textsize = std::strtol(argv[4], nullptr, 10);
    const long repeat = std::strtol(argv[5], nullptr, 10);
    const bool memory = argc == 8;
    try {
        tovrin::TSybConnect connection(nullptr);
        connection.SetDatabaseName("COMPARE");
        connection.SetServerName(argv[1]);
        connection.SetUserName(argv[2]);
        connection.SetPassword(argv[3]);
        connection.Connect();
        if (textsize > 0) {
            tovrin::TSybQuery set(nullptr);
            set.SetDatabaseName("COMPARE");
            set.SQL()->SetText("set textsize " + std::to_string(textsize));
            set.ExecSQL();
        }
        tovrin::TSybQuery query(nullptr);
        query.SetDatabaseName("COMPARE");
        query.SQL()->SetText(argv[6]);
        long long rows = 0;
        for (long k = 0; k < repeat; ++k) {
            const bool measure = memory && k == 0;
            long long residentBefore = 0;
            if (measure) {
                residentBefore = statusBytes("VmRSS");
                resetPeakResidentSet();
            }
            query.Open();
            const int count = query.RecordCount();
            rows += count;
            if (measure && count > 0) {
                const double peak =
                    static_cast<double>(statusBytes("VmHWM") - residentBefore) / count;
                const double held =
                    static_cast<double>(statusBytes("VmRSS") - residentBefore) / count;
                std::printf("record_size=%d peak_rss_per_row=%.1f held_rss_per_row=%.1f\n",
                            query.RecordSize(), peak, held);
            }
            query.Close();
        }
        std::printf("rows=%lld\n", rows);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "compare_query: %s\n", e.what());
        return 1;
    }
    return 0;
}
