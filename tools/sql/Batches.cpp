// Batch splitting on "go" lines.
#include "Batches.h"

#include <cctype>
#include <sstream>
#include <utility>

namespace tovrin::sqltool {

namespace {

bool isBlank(const std::string& text) {
    for (unsigned char c : text)
        if (!std::isspace(c))
            return false;
    return true;
}

/// Where a line's text begins and ends without its leading and trailing blanks.
std::pair<std::size_t, std::size_t> trimmedBounds(const std::string& line) {
    std::size_t begin = 0;
    std::size_t end = line.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(line[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(line[end - 1])))
        --end;
    return {begin, end};
}

} // namespace

bool isCommandLine(const std::string& line, const char* word) {
    const auto [begin, end] = trimmedBounds(line);
    std::size_t i = 0;
    for (; word[i] != '\0'; ++i) {
        if (begin + i >= end || std::tolower(static_cast<unsigned char>(line[begin + i])) !=
                                    static_cast<unsigned char>(word[i]))
            return false;
    }
    return begin + i == end;
}

int goLineCount(const std::string& line, const std::string& terminator) {
    const auto [begin, end] = trimmedBounds(line);
    const std::size_t length = terminator.size();
    if (length == 0 || end - begin < length)
        return 0;
    for (std::size_t k = 0; k < length; ++k)
        if (std::tolower(static_cast<unsigned char>(line[begin + k])) !=
            std::tolower(static_cast<unsigned char>(terminator[k])))
            return 0;
    std::size_t i = begin + length;
    if (i == end)
        return 1;
    if (!std::isspace(static_cast<unsigned char>(line[i])))
        return 0;
    while (i < end && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    long count = 0;
    for (; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i])))
            return 0;
        count = count * 10 + (line[i] - '0');
        if (count > 1000000)
            return 0; // not a repeat count anyone means
    }
    return count > 0 ? static_cast<int>(count) : 0;
}

BatchSplitter::BatchSplitter(std::string terminator, bool terminalCommands, std::string editorWord)
    : m_terminator(std::move(terminator)), m_terminalCommands(terminalCommands),
      m_editorWord(std::move(editorWord)) {}

std::optional<BatchSplitter::LineOutcome> BatchSplitter::commandOf(const std::string& line) {
    if (!m_terminalCommands)
        return std::nullopt;
    const auto [begin, end] = trimmedBounds(line);
    const std::string word = line.substr(begin, end - begin);
    if (isCommandLine(line, "vi") || (!m_editorWord.empty() && word == m_editorWord))
        return LineOutcome::Edit;
    if (line.compare(begin, 2, "!!") != 0)
        return std::nullopt;
    m_file = line.substr(begin + 2, end - begin - 2);
    m_file.erase(0, m_file.find_first_not_of(" \t"));
    return m_file.empty() ? LineOutcome::RunLast : LineOutcome::Shell;
}

BatchSplitter::LineOutcome BatchSplitter::addLine(const std::string& line, int lineNumber) {
    if (const int repeat = goLineCount(line, m_terminator); repeat > 0) {
        std::string text = std::move(m_text);
        m_text.clear();
        m_lines = 0;
        const int firstLine = m_firstLine;
        m_firstLine = 0;
        if (isBlank(text))
            return LineOutcome::Collected;
        m_ready = std::move(text);
        m_readyRepeat = repeat;
        m_readyFirstLine = firstLine;
        return LineOutcome::BatchReady;
    }
    if (isCommandLine(line, "reset")) {
        discard();
        return LineOutcome::Reset;
    }
    if (isCommandLine(line, "quit") || isCommandLine(line, "exit"))
        return LineOutcome::Quit;
    if (const auto command = commandOf(line))
        return *command;
    {
        std::size_t i = line.find_first_not_of(" \t");
        if (i != std::string::npos && line.compare(i, 2, ":r") == 0 && i + 2 < line.size() &&
            std::isspace(static_cast<unsigned char>(line[i + 2]))) {
            std::string name = line.substr(i + 3);
            name.erase(0, name.find_first_not_of(" \t"));
            name.erase(name.find_last_not_of(" \t\r") + 1);
            if (!name.empty()) {
                m_file = name;
                return LineOutcome::ReadFile;
            }
        }
    }
    // Counted as the server counts a batch's lines: from its first line, blank or not.
    if (m_lines == 0)
        m_firstLine = lineNumber;
    m_text += line;
    m_text += '\n';
    ++m_lines;
    return LineOutcome::Collected;
}

void BatchSplitter::discard() noexcept {
    m_text.clear();
    m_lines = 0;
    m_firstLine = 0;
}

std::optional<std::string> BatchSplitter::takeBatch() {
    if (m_ready) {
        std::optional<std::string> batch = std::move(m_ready);
        m_ready.reset();
        m_takenRepeat = m_readyRepeat;
        m_takenFirstLine = m_readyFirstLine;
        return batch;
    }
    if (isBlank(m_text))
        return std::nullopt;
    std::string text = std::move(m_text);
    m_text.clear();
    m_lines = 0;
    m_takenRepeat = 1;
    m_takenFirstLine = m_firstLine;
    m_firstLine = 0;
    return text;
}

std::vector<std::string> splitBatches(const std::string& text, const std::string& terminator) {
    std::vector<std::string> batches;
    BatchSplitter splitter(terminator);
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto outcome = splitter.addLine(line);
        if (outcome == BatchSplitter::LineOutcome::Quit)
            return batches;
        if (outcome == BatchSplitter::LineOutcome::BatchReady)
            batches.push_back(*splitter.takeBatch());
    }
    if (auto rest = splitter.takeBatch())
        batches.push_back(std::move(*rest));
    return batches;
}

} // namespace tovrin::sqltool
