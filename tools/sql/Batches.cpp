// Batch splitting on "go" lines.
#include "Batches.h"

#include <cctype>
#include <sstream>

namespace tovrin::sqltool {

namespace {

bool isBlank(const std::string& text) {
    for (unsigned char c : text)
        if (!std::isspace(c))
            return false;
    return true;
}

} // namespace

bool isCommandLine(const std::string& line, const char* word) {
    std::size_t begin = 0;
    std::size_t end = line.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(line[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(line[end - 1])))
        --end;
    std::size_t i = 0;
    for (; word[i] != '\0'; ++i) {
        if (begin + i >= end ||
            std::tolower(static_cast<unsigned char>(line[begin + i])) != static_cast<unsigned char>(word[i]))
            return false;
    }
    return begin + i == end;
}

BatchSplitter::LineOutcome BatchSplitter::addLine(const std::string& line) {
    if (isCommandLine(line, "go")) {
        std::string text = std::move(m_text);
        m_text.clear();
        m_lines = 0;
        if (isBlank(text))
            return LineOutcome::Collected;
        m_ready = std::move(text);
        return LineOutcome::BatchReady;
    }
    if (isCommandLine(line, "reset")) {
        m_text.clear();
        m_lines = 0;
        return LineOutcome::Reset;
    }
    if (isCommandLine(line, "quit") || isCommandLine(line, "exit"))
        return LineOutcome::Quit;
    m_text += line;
    m_text += '\n';
    ++m_lines;
    return LineOutcome::Collected;
}

std::optional<std::string> BatchSplitter::takeBatch() {
    if (m_ready) {
        std::optional<std::string> batch = std::move(m_ready);
        m_ready.reset();
        return batch;
    }
    if (isBlank(m_text))
        return std::nullopt;
    std::string text = std::move(m_text);
    m_text.clear();
    m_lines = 0;
    return text;
}

std::vector<std::string> splitBatches(const std::string& text) {
    std::vector<std::string> batches;
    BatchSplitter splitter;
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
