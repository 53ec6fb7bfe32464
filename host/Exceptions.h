// The framework's exception hierarchy, rooted at host::Exception, and the helpers that
// raise the common ones (DatabaseError, DatabaseErrorFmt, Assert).
#pragma once

#include <exception>
#include <initializer_list>
#include <string>

#include "tovrin5/host/FormatArg.h"

namespace tovrin::host {

class TComponent;

/// Base class of every exception the framework and the package raise. Carries the
/// message text byte for byte; what() returns the same text.
class Exception : public std::exception {
public:
    explicit Exception(std::string message);
    /// Builds the message with Format(fmt, args).
    Exception(const std::string& fmt, std::initializer_list<FormatArg> args);
    ~Exception() override;

    /// The message text.
    [[nodiscard]] const std::string& Message() const noexcept { return m_message; }
    void SetMessage(std::string message) { m_message = std::move(message); }
    [[nodiscard]] const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

/// Database errors (dataset, fields, parameters).
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

/// A failed Assert; carries the unit name and line as well as the full message.
class EAssertionFailed : public Exception {
public:
    EAssertionFailed(std::string fullMessage, std::string unitName, int line);
    [[nodiscard]] const std::string& UnitName() const noexcept { return m_unitName; }
    [[nodiscard]] int Line() const noexcept { return m_line; }

private:
    std::string m_unitName;
    int m_line;
};

/// Variant conversion failures and variant-array misuse (index out of bounds, not an array).
class EVariantError : public Exception {
public:
    using Exception::Exception;
};

/// List index errors and duplicate entries in lists.
class EListError : public Exception {
public:
    using Exception::Exception;
};

/// A value of the wrong class where another was expected.
class EInvalidCast : public Exception {
public:
    using Exception::Exception;
};

/// Text that does not convert (StrToInt, StrToFloat, EncodeDate arguments, time stamps).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

/// An operation that is not allowed in the object's present state.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

/// Component naming errors (invalid identifier, duplicate name).
class EComponentError : public Exception {
public:
    using Exception::Exception;
};

/// Stream errors.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

/// Errors of the component streaming (reading and writing).
class EFilerError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

/// A stream that cannot be read: short data, damaged component text.
class EReadError : public EFilerError {
public:
    using EFilerError::EFilerError;
};

/// A stream that cannot be written.
class EWriteError : public EFilerError {
public:
    using EFilerError::EFilerError;
};

/// Unknown class name met while reading a component stream.
class EClassNotFound : public EReadError {
public:
    using EReadError::EReadError;
};

/// The silent exception: aborts an operation without an error display.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

/// Raises EAbort "Operation aborted".
[[noreturn]] void Abort();

/// Raises EDatabaseError with the message; when a component with a name is given the
/// message is prefixed with "Name: ".
[[noreturn]] void DatabaseError(const std::string& message, TComponent* component = nullptr);

/// Raises EDatabaseError with Format(fmt, args), prefixed as for DatabaseError.
[[noreturn]] void DatabaseErrorFmt(const std::string& fmt, std::initializer_list<FormatArg> args,
                                   TComponent* component = nullptr);

/// Raises EAssertionFailed unless the condition holds. The message is the given text, or
/// "Assertion failure" when it is empty, followed by " (<unit>, line <line>)".
void Assert(bool condition, const std::string& message, const char* unitName, int line);

/// Assert with the default text "Assertion failure".
inline void Assert(bool condition, const char* unitName, int line) {
    Assert(condition, std::string(), unitName, line);
}

} // namespace tovrin::host
