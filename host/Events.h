// Event values: a callable plus the name of its handler, so that component streaming can
// write an event by name and resolve it again through the root component's method table.
#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <utility>

namespace tovrin::host {

class TObject;

template <class Signature> class TEvent;

/// An event property's value. Empty by default (`if (ev)` is false); constructible from
/// any callable with a compatible signature; calling an empty event does nothing and
/// returns a value-initialised result.
template <class R, class... Args> class TEvent<R(Args...)> {
public:
    using Function = std::function<R(Args...)>;

    TEvent() = default;
    TEvent(std::nullptr_t) {}
    template <class F>
    requires(!std::is_same_v<std::decay_t<F>, TEvent> &&
             !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
             std::is_invocable_r_v<R, F&, Args...>) TEvent(F&& f)
        : m_function(std::forward<F>(f)) {}
    /// An event bound to a handler known by name (as published in a method table).
    TEvent(Function function, std::string handlerName)
        : m_function(std::move(function)), m_handlerName(std::move(handlerName)) {}

    /// Calls the handler if one is assigned.
    R operator()(Args... args) const {
        if (!m_function) {
            if constexpr (std::is_void_v<R>) {
                return;
            } else {
                return R{};
            }
        }
        return m_function(std::forward<Args>(args)...);
    }

    explicit operator bool() const noexcept { return static_cast<bool>(m_function); }
    /// Name of the handler in the root's method table; empty for anonymous handlers.
    [[nodiscard]] const std::string& HandlerName() const noexcept { return m_handlerName; }
    void SetHandlerName(std::string name) { m_handlerName = std::move(name); }
    [[nodiscard]] const Function& function() const noexcept { return m_function; }

private:
    Function m_function;
    std::string m_handlerName;
};

/// The framework's plain notification event.
using TNotifyEvent = TEvent<void(TObject* Sender)>;

} // namespace tovrin::host
