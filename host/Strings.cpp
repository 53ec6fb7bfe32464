// TStrings and TStringList.
#include "tovrin5/host/Strings.h"

#include <algorithm>

#include "tovrin5/host/Collation.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/host/Streams.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

namespace {
[[noreturn]] void indexError(int Index) {
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

// Restores the update count on every path.
class UpdateScope {
public:
    explicit UpdateScope(TStrings& s) : m_s(s) { m_s.BeginUpdate(); }
    ~UpdateScope() {
        try {
            m_s.EndUpdate();
        } catch (...) {
        }
    }
    UpdateScope(const UpdateScope&) = delete;
    UpdateScope& operator=(const UpdateScope&) = delete;

private:
    TStrings& m_s;
};
} // namespace

TStrings::~TStrings() = default;

void TStrings::Put(int Index, const std::string& S) {
    void* obj = GetObject(Index);
    UpdateScope scope(*this);
    Delete(Index);
    Insert(Index, S);
    PutObject(Index, obj);
}

void* TStrings::GetObject(int /*Index*/) const {
    return nullptr;
}
void TStrings::PutObject(int /*Index*/, void* /*AObject*/) {}

int TStrings::Add(const std::string& S) {
    int i = Count();
    Insert(i, S);
    return i;
}

int TStrings::AddObject(const std::string& S, void* AObject) {
    int i = Add(S);
    PutObject(i, AObject);
    return i;
}

void TStrings::AddStrings(const TStrings* Strings) {
    if (!Strings)
        return;
    UpdateScope scope(*this);
    for (int i = 0; i < Strings->Count(); ++i)
        AddObject(Strings->Get(i), Strings->GetObject(i));
}

void TStrings::Exchange(int Index1, int Index2) {
    UpdateScope scope(*this);
    std::string t1 = Get(Index1);
    void* o1 = GetObject(Index1);
    Put(Index1, Get(Index2));
    PutObject(Index1, GetObject(Index2));
    Put(Index2, t1);
    PutObject(Index2, o1);
}

void TStrings::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex)
        return;
    UpdateScope scope(*this);
    std::string s = Get(CurIndex);
    void* o = GetObject(CurIndex);
    Delete(CurIndex);
    Insert(NewIndex, s);
    PutObject(NewIndex, o);
}

int TStrings::IndexOf(const std::string& S) const {
    for (int i = 0; i < Count(); ++i) {
        if (caseSensitive() ? Get(i) == S : SameText(Get(i), S))
            return i;
    }
    return -1;
}

int TStrings::IndexOfObject(const void* AObject) const {
    for (int i = 0; i < Count(); ++i) {
        if (GetObject(i) == AObject)
            return i;
    }
    return -1;
}

std::string TStrings::Text() const {
    // Lines end with the platform's line break (LF here), so that a text set with SetText
    // reads back byte for byte when its lines were LF-terminated (SQL text reaches the
    // server as the application wrote it, line breaks inside literals included).
    std::string r;
    for (int i = 0; i < Count(); ++i) {
        r += Get(i);
        r += kLineBreak;
    }
    return r;
}

void TStrings::SetText(const std::string& Value) {
    UpdateScope scope(*this);
    Clear();
    size_t start = 0;
    size_t i = 0;
    while (i < Value.size()) {
        char c = Value[i];
        if (c == '\r' || c == '\n') {
            Add(Value.substr(start, i - start));
            if (c == '\r' && i + 1 < Value.size() && Value[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < Value.size())
        Add(Value.substr(start));
}

std::string TStrings::CommaText() const {
    std::string r;
    for (int i = 0; i < Count(); ++i) {
        if (i > 0)
            r += ',';
        std::string s = Get(i);
        bool quote = s.empty() || s.find_first_of(" ,\"\t\r\n") != std::string::npos;
        if (quote) {
            r += '"';
            for (char c : s) {
                if (c == '"')
                    r += '"';
                r += c;
            }
            r += '"';
        } else {
            r += s;
        }
    }
    return r;
}

void TStrings::SetCommaText(const std::string& Value) {
    UpdateScope scope(*this);
    Clear();
    size_t i = 0;
    auto skipBlanks = [&]() {
        while (i < Value.size() && static_cast<unsigned char>(Value[i]) <= ' ')
            ++i;
    };
    skipBlanks();
    while (i < Value.size()) {
        std::string item;
        if (Value[i] == '"') {
            ++i;
            while (i < Value.size()) {
                if (Value[i] == '"') {
                    if (i + 1 < Value.size() && Value[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += Value[i++];
            }
        } else {
            while (i < Value.size() && Value[i] != ',' &&
                   static_cast<unsigned char>(Value[i]) > ' ')
                item += Value[i++];
        }
        Add(item);
        skipBlanks();
        if (i < Value.size() && Value[i] == ',') {
            ++i;
            skipBlanks();
            if (i >= Value.size())
                Add("");
        }
    }
}

std::string TStrings::Names(int Index) const {
    std::string s = Get(Index);
    size_t p = s.find('=');
    return p == std::string::npos ? std::string() : s.substr(0, p);
}

int TStrings::IndexOfName(const std::string& Name) const {
    for (int i = 0; i < Count(); ++i) {
        std::string s = Get(i);
        size_t p = s.find('=');
        if (p != std::string::npos && SameText(s.substr(0, p), Name))
            return i;
    }
    return -1;
}

std::string TStrings::Values(const std::string& Name) const {
    int i = IndexOfName(Name);
    if (i < 0)
        return {};
    std::string s = Get(i);
    return s.substr(s.find('=') + 1);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
    int i = IndexOfName(Name);
    if (Value.empty()) {
        if (i >= 0)
            Delete(i);
        return;
    }
    if (i < 0)
        Add(Name + "=" + Value);
    else
        Put(i, Name + "=" + Value);
}

void TStrings::BeginUpdate() {
    if (m_updateCount++ == 0)
        SetUpdateState(true);
}

void TStrings::EndUpdate() {
    if (m_updateCount <= 0)
        return;
    if (--m_updateCount == 0)
        SetUpdateState(false);
}

void TStrings::SetUpdateState(bool /*Updating*/) {}

bool TStrings::Equals(const TStrings* Strings) const {
    if (!Strings || Strings->Count() != Count())
        return false;
    for (int i = 0; i < Count(); ++i) {
        if (Get(i) != Strings->Get(i))
            return false;
    }
    return true;
}

void TStrings::Assign(TPersistent* Source) {
    if (auto* other = dynamic_cast<TStrings*>(Source)) {
        if (other == this)
            return;
        UpdateScope scope(*this);
        Clear();
        AddStrings(other);
        return;
    }
    TPersistent::Assign(Source);
}

void TStrings::LoadFromStream(TStream* Stream) {
    int64_t size = Stream->Size() - Stream->Position();
    std::string data(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (!data.empty())
        Stream->ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
    SetText(data);
}

void TStrings::SaveToStream(TStream* Stream) const {
    std::string t = Text();
    Stream->WriteBuffer(t.data(), static_cast<int64_t>(t.size()));
}

void TStrings::DefineProperties(TFiler* Filer) {
    bool hasData = Count() > 0;
    if (auto* ancestor = dynamic_cast<TStrings*>(Filer->Ancestor()))
        hasData = !Equals(ancestor);
    Filer->DefineProperty(
        "Strings",
        [this](TReader* reader) {
            UpdateScope scope(*this);
            reader->ReadListBegin();
            Clear();
            while (!reader->EndOfList())
                Add(reader->ReadString());
            reader->ReadListEnd();
        },
        [this](TWriter* writer) {
            writer->WriteListBegin();
            for (int i = 0; i < Count(); ++i)
                writer->WriteString(Get(i));
            writer->WriteListEnd();
        },
        hasData);
}

// TStringList

TStringList::~TStringList() {
    // No change events while the list dies.
    m_onChange = nullptr;
    m_onChanging = nullptr;
}

void TStringList::checkIndex(int Index) const {
    if (Index < 0 || Index >= Count())
        indexError(Index);
}

void TStringList::Changing() {
    if (UpdateCount() == 0 && m_onChanging)
        m_onChanging(this);
}

void TStringList::Changed() {
    if (UpdateCount() == 0) {
        if (m_onChange)
            m_onChange(this);
    } else {
        m_changedWhileUpdating = true;
    }
}

void TStringList::SetUpdateState(bool Updating) {
    if (Updating) {
        m_changedWhileUpdating = false;
        if (m_onChanging)
            m_onChanging(this);
    } else if (m_changedWhileUpdating) {
        m_changedWhileUpdating = false;
        if (m_onChange)
            m_onChange(this);
    }
}

std::string TStringList::Get(int Index) const {
    checkIndex(Index);
    return m_items[static_cast<size_t>(Index)].text;
}

void TStringList::Put(int Index, const std::string& S) {
    if (m_sorted)
        throw EListError("Operation not allowed on sorted list");
    checkIndex(Index);
    Changing();
    m_items[static_cast<size_t>(Index)].text = S;
    Changed();
}

void* TStringList::GetObject(int Index) const {
    checkIndex(Index);
    return m_items[static_cast<size_t>(Index)].object;
}

void TStringList::PutObject(int Index, void* AObject) {
    checkIndex(Index);
    Changing();
    m_items[static_cast<size_t>(Index)].object = AObject;
    Changed();
}

int TStringList::compareStrings(const std::string& a, const std::string& b) const {
    return m_caseSensitive ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

bool TStringList::Find(const std::string& S, int& Index) const {
    int lo = 0;
    int hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = compareStrings(m_items[static_cast<size_t>(mid)].text, S);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (m_duplicates != dupAccept)
                    lo = mid;
            }
        }
    }
    Index = lo;
    return found;
}

int TStringList::Add(const std::string& S) {
    return AddObject(S, nullptr);
}

int TStringList::AddObject(const std::string& S, void* AObject) {
    int index = Count();
    if (m_sorted) {
        if (Find(S, index)) {
            if (m_duplicates == dupIgnore)
                return index;
            if (m_duplicates == dupError)
                throw EListError("String list does not allow duplicates");
        }
    }
    insertItem(index, S, AObject);
    return index;
}

void TStringList::insertItem(int Index, const std::string& S, void* AObject) {
    Changing();
    m_items.insert(m_items.begin() + Index, Item{S, AObject});
    Changed();
}

void TStringList::Insert(int Index, const std::string& S) {
    if (m_sorted)
        throw EListError("Operation not allowed on sorted list");
    if (Index < 0 || Index > Count())
        indexError(Index);
    insertItem(Index, S, nullptr);
}

void TStringList::Delete(int Index) {
    checkIndex(Index);
    Changing();
    m_items.erase(m_items.begin() + Index);
    Changed();
}

void TStringList::Clear() {
    if (m_items.empty())
        return;
    Changing();
    m_items.clear();
    Changed();
}

void TStringList::Exchange(int Index1, int Index2) {
    checkIndex(Index1);
    checkIndex(Index2);
    Changing();
    std::swap(m_items[static_cast<size_t>(Index1)], m_items[static_cast<size_t>(Index2)]);
    Changed();
}

int TStringList::IndexOf(const std::string& S) const {
    if (!m_sorted)
        return TStrings::IndexOf(S);
    int index = 0;
    return Find(S, index) ? index : -1;
}

void TStringList::SetText(const std::string& Value) {
    TStrings::SetText(Value);
}

void TStringList::Assign(TPersistent* Source) {
    if (auto* other = dynamic_cast<TStringList*>(Source); other && other != this) {
        UpdateScope scope(*this);
        Clear();
        m_sorted = false;
        AddStrings(other);
        m_sorted = other->m_sorted;
        m_duplicates = other->m_duplicates;
        m_caseSensitive = other->m_caseSensitive;
        return;
    }
    TStrings::Assign(Source);
}

void TStringList::Sort() {
    if (m_items.size() < 2)
        return;
    Changing();
    std::stable_sort(m_items.begin(), m_items.end(), [this](const Item& a, const Item& b) {
        return compareStrings(a.text, b.text) < 0;
    });
    Changed();
}

void TStringList::SetSorted(bool Value) {
    if (m_sorted == Value)
        return;
    if (Value)
        Sort();
    m_sorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
    if (m_caseSensitive == Value)
        return;
    m_caseSensitive = Value;
    if (m_sorted)
        Sort();
}

} // namespace tovrin::host
