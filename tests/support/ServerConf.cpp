// Writes the freetds.conf files of the test programs that run several servers.
#include "support/ServerConf.h"

#include <cstdlib>
#include <fstream>
#include <ostream>

namespace testsupport {

namespace {

void writeSection(std::ostream& conf, const ConfSection& section) {
    conf << "[" << section.first << "]\n\thost = 127.0.0.1\n\tport = " << section.second
         << "\n\ttds version = 5.0\n";
}

} // namespace

void writeServerConf(const std::string& path, const std::vector<ConfSection>& sections) {
    std::ofstream conf(path);
    conf << "[global]\n\tclient charset = UTF-8\n";
    for (const ConfSection& section : sections)
        writeSection(conf, section);
    conf.close();
    setenv("FREETDSCONF", path.c_str(), 1);
}

void appendServerSection(const std::string& path, const ConfSection& section) {
    std::ofstream conf(path, std::ios::app);
    writeSection(conf, section);
    conf.close();
    setenv("FREETDSCONF", path.c_str(), 1);
}

} // namespace testsupport
