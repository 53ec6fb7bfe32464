// FlagRestore: puts a boolean member back to the value it had when the scope began, also
// when the scope is left by an exception (used where a search or a key buffer switches a
// mode of the dataset for its own duration).
#pragma once

namespace tovrin {

class FlagRestore {
public:
    explicit FlagRestore(bool& flag) noexcept : m_flag(flag), m_saved(flag) {}
    ~FlagRestore() { m_flag = m_saved; }
    FlagRestore(const FlagRestore&) = delete;
    FlagRestore& operator=(const FlagRestore&) = delete;

private:
    bool& m_flag;
    bool m_saved;
};

} // namespace tovrin
