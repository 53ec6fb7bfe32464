// TStrings, the framework's abstract list of texts with attached objects, and
// TStringList, its implementation with change events, sorting and duplicates handling.
#pragma once

#include <string>
#include <vector>

#include "tovrin5/host/Events.h"
#include "tovrin5/host/Lists.h"
#include "tovrin5/host/Persistent.h"

namespace tovrin::host {

class TStream;

/// An ordered list of texts, each with an optional object pointer (not owned).
/// Index errors raise EListError "List index out of bounds (<index>)".
class TStrings : public TPersistent {
public:
    ~TStrings() override;
    [[nodiscard]] std::string ClassName() const override { return "TStrings"; }

    [[nodiscard]] virtual int Count() const = 0;
    [[nodiscard]] virtual std::string Get(int Index) const = 0;
    virtual void Put(int Index, const std::string& S);
    [[nodiscard]] virtual void* GetObject(int Index) const;
    virtual void PutObject(int Index, void* AObject);
    [[nodiscard]] std::string Strings(int Index) const { return Get(Index); }
    [[nodiscard]] std::string operator[](int Index) const { return Get(Index); }
    [[nodiscard]] void* Objects(int Index) const { return GetObject(Index); }

    /// Appends; returns the index (in a sorted list, where it was placed).
    virtual int Add(const std::string& S);
    virtual int AddObject(const std::string& S, void* AObject);
    void Append(const std::string& S) { Add(S); }
    void AddStrings(const TStrings* Strings);
    virtual void Insert(int Index, const std::string& S) = 0;
    virtual void Delete(int Index) = 0;
    virtual void Clear() = 0;
    virtual void Exchange(int Index1, int Index2);
    virtual void Move(int CurIndex, int NewIndex);
    /// First index of S (case-insensitive ASCII unless the list says otherwise); -1.
    [[nodiscard]] virtual int IndexOf(const std::string& S) const;
    [[nodiscard]] int IndexOfObject(const void* AObject) const;

    /// The line break Text writes after each line: the platform's own (LF on POSIX
    /// systems, CR LF on Windows).
#ifdef _WIN32
    static constexpr const char* kLineBreak = "\r\n";
#else
    static constexpr const char* kLineBreak = "\n";
#endif
    /// Every line followed by kLineBreak, the last one included.
    [[nodiscard]] virtual std::string Text() const;
    /// Replaces the lines by those of Value, split at CR LF, LF or CR; a final line break
    /// does not make an empty last line.
    virtual void SetText(const std::string& Value);
    /// Lines separated by commas, quoted with " where needed.
    [[nodiscard]] std::string CommaText() const;
    void SetCommaText(const std::string& Value);
    /// Name=Value pairs.
    [[nodiscard]] std::string Names(int Index) const;
    [[nodiscard]] std::string Values(const std::string& Name) const;
    void SetValues(const std::string& Name, const std::string& Value);
    [[nodiscard]] int IndexOfName(const std::string& Name) const;

    /// Nested updates: the change event fires once, at the outermost EndUpdate, if
    /// something changed in between.
    void BeginUpdate();
    void EndUpdate();
    [[nodiscard]] int UpdateCount() const noexcept {
        return m_updateCount;
    }

    /// Same lines in the same order (exact comparison).
    [[nodiscard]] bool Equals(const TStrings* Strings) const;

    void Assign(TPersistent* Source) override;
    void LoadFromStream(TStream* Stream);
    void SaveToStream(TStream* Stream) const;

    void DefineProperties(TFiler* Filer) override;

protected:
    /// Called around updates (true at the first BeginUpdate, false at the last EndUpdate).
    virtual void SetUpdateState(bool Updating);
    [[nodiscard]] virtual bool caseSensitive() const {
        return false;
    }

private:
    int m_updateCount = 0;
};

/// The concrete string list. Sorted lists keep their order on Add (by AnsiCompareStr, or
/// the case-insensitive collation unless CaseSensitive) and refuse Insert.
class TStringList : public TStrings {
public:
    TStringList() = default;
    ~TStringList() override;
    [[nodiscard]] std::string ClassName() const override { return "TStringList"; }

    [[nodiscard]] int Count() const override { return static_cast<int>(m_items.size()); }
    [[nodiscard]] std::string Get(int Index) const override;
    void Put(int Index, const std::string& S) override;
    [[nodiscard]] void* GetObject(int Index) const override;
    void PutObject(int Index, void* AObject) override;
    int Add(const std::string& S) override;
    int AddObject(const std::string& S, void* AObject) override;
    void Insert(int Index, const std::string& S) override;
    void Delete(int Index) override;
    void Clear() override;
    void Exchange(int Index1, int Index2) override;
    [[nodiscard]] int IndexOf(const std::string& S) const override;
    void SetText(const std::string& Value) override;
    void Assign(TPersistent* Source) override;

    /// Binary search of a sorted list; Index receives the position found or to insert at.
    bool Find(const std::string& S, int& Index) const;
    void Sort();
    [[nodiscard]] bool Sorted() const noexcept { return m_sorted; }
    void SetSorted(bool Value);
    [[nodiscard]] TDuplicates Duplicates() const noexcept { return m_duplicates; }
    void SetDuplicates(TDuplicates Value) noexcept { m_duplicates = Value; }
    [[nodiscard]] bool CaseSensitive() const noexcept { return m_caseSensitive; }
    void SetCaseSensitive(bool Value);

    /// Fired before and after each change (once per outermost update when batched).
    [[nodiscard]] const TNotifyEvent& OnChange() const noexcept { return m_onChange; }
    void SetOnChange(TNotifyEvent handler) { m_onChange = std::move(handler); }
    [[nodiscard]] const TNotifyEvent& OnChanging() const noexcept { return m_onChanging; }
    void SetOnChanging(TNotifyEvent handler) { m_onChanging = std::move(handler); }

protected:
    virtual void Changed();
    virtual void Changing();
    void SetUpdateState(bool Updating) override;
    [[nodiscard]] bool caseSensitive() const override { return m_caseSensitive; }

private:
    struct Item {
        std::string text;
        void* object = nullptr;
    };
    void checkIndex(int Index) const;
    void insertItem(int Index, const std::string& S, void* AObject);
    [[nodiscard]] int compareStrings(const std::string& a, const std::string& b) const;

    std::vector<Item> m_items;
    bool m_sorted = false;
    bool m_caseSensitive = false;
    bool m_changedWhileUpdating = false;
    TDuplicates m_duplicates = dupIgnore;
    TNotifyEvent m_onChange;
    TNotifyEvent m_onChanging;
};

} // namespace tovrin::host
