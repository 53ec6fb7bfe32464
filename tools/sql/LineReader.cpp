// Line sources: a std::istream, or libedit's readline interface on the terminal.
#include "LineReader.h"

#include <cstdlib>
#include <editline/readline.h>

namespace tovrin::sqltool {

namespace {

class StreamReader final : public LineReader {
public:
    explicit StreamReader(std::istream& in) : m_in(in) {}
    std::optional<std::string> readLine(int) override {
        std::string line;
        if (!std::getline(m_in, line))
            return std::nullopt;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }

private:
    std::istream& m_in;
};

class EditLineReader final : public LineReader {
public:
    EditLineReader() {
        rl_readline_name = const_cast<char*>("tovrin-sql");
        using_history();
    }
    std::optional<std::string> readLine(int lineNumber) override {
        const std::string prompt = std::to_string(lineNumber) + "> ";
        char* raw = readline(prompt.c_str());
        if (raw == nullptr)
            return std::nullopt;
        std::string line(raw);
        std::free(raw);
        if (line.find_first_not_of(" \t") != std::string::npos)
            add_history(line.c_str());
        return line;
    }
};

} // namespace

std::unique_ptr<LineReader> makeStreamReader(std::istream& in) {
    return std::make_unique<StreamReader>(in);
}

std::unique_ptr<LineReader> makeEditLineReader() {
    return std::make_unique<EditLineReader>();
}

} // namespace tovrin::sqltool
