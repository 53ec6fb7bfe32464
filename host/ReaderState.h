// The state of one TReader reading, shared by its value and its component reading.
#pragma once

#include <string>
#include <vector>

#include "tovrin5/host/Filer.h"
#include "tovrin5/host/ReaderLexer.h"

namespace tovrin::host {

namespace detail {

// A reference property whose target is set once the whole tree is read.
struct Fixup {
    TPersistent* instance;
    TPropInfo prop;
    std::string path;
    std::string context;
};

} // namespace detail

struct TReader::Impl {
    explicit Impl(std::string text) : lexer(std::move(text)) {}
    detail::Lexer lexer;
    std::vector<TComponent*> created;
    std::vector<TComponent*> loaded;
    std::vector<detail::Fixup> fixups;
    std::string defName;
    bool defFound = false;
    std::string context; // "Query1.SQL" for messages
    int depth = 0;
};

} // namespace tovrin::host
