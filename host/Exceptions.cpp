// Exception classes and the helpers that raise database errors and assertion failures.
#include "tovrin5/host/Exceptions.h"

#include "tovrin5/host/Component.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

Exception::Exception(std::string message) : m_message(std::move(message)) {}

Exception::Exception(const std::string& fmt, std::initializer_list<FormatArg> args)
    : m_message(Format(fmt, args)) {}

Exception::~Exception() = default;

EAssertionFailed::EAssertionFailed(std::string fullMessage, std::string unitName, int line)
    : Exception(std::move(fullMessage)), m_unitName(std::move(unitName)), m_line(line) {}

namespace {
std::string prefixed(const std::string& message, TComponent* component) {
    if (component && !component->Name().empty())
        return component->Name() + ": " + message;
    return message;
}
} // namespace

void DatabaseError(const std::string& message, TComponent* component) {
    throw EDatabaseError(prefixed(message, component));
}

void DatabaseErrorFmt(const std::string& fmt, std::initializer_list<FormatArg> args,
                      TComponent* component) {
    throw EDatabaseError(prefixed(Format(fmt, args), component));
}

void Abort() {
    throw EAbort("Operation aborted");
}

void Assert(bool condition, const std::string& message, const char* unitName, int line) {
    if (condition)
        return;
    std::string unit = unitName ? unitName : "";
    std::string text = message.empty() ? std::string("Assertion failure") : message;
    text += " (" + unit + ", line " + std::to_string(line) + ")";
    throw EAssertionFailed(std::move(text), std::move(unit), line);
}

} // namespace tovrin::host
