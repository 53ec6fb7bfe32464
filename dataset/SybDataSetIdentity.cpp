// TSybDataSet: record identities. A stored record keeps one identity from the moment it
// is fetched or posted until it is deleted or the dataset closes; bookmarks are these
// identities, so they follow their record through sorts, inserts, deletes and AutoSort
// moves. The position of an identity comes from a table that is rebuilt only when the
// record list changed shape since it was last built.
#include <climits>
#include <cstring>

#include "tovrin5/dataset/SybDataSet.h"

namespace tovrin {

using namespace host;

int32_t TSybDataSet::recordId(const char* Buffer) const noexcept {
    int32_t n;
    std::memcpy(&n, Buffer + FRecordInfoOffset, sizeof n);
    return n;
}

void TSybDataSet::setRecordId(char* Buffer, int32_t Value) const noexcept {
    std::memcpy(Buffer + FRecordInfoOffset, &Value, sizeof Value);
}

void TSybDataSet::numberRecords() {
    const auto count = static_cast<int32_t>(FRecords.size());
    // Identities run on across opens, so that a bookmark of an earlier open names no
    // record; only after two thousand million records do they start again.
    if (FNextRecordId < 1 || INT32_MAX - FNextRecordId <= count)
        FNextRecordId = 1;
    FFirstRecordId = FNextRecordId;
    FPositionOfId.resize(static_cast<std::size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        setRecordId(FRecords[static_cast<std::size_t>(i)], FNextRecordId++);
        FPositionOfId[static_cast<std::size_t>(i)] = i;
    }
    FPositionsStale = false;
    visibleChanged();
}

int32_t TSybDataSet::takeRecordId() noexcept {
    if (FNextRecordId == INT32_MAX)
        FPositionsStale = true; // cannot happen in practice
    const int32_t id = FNextRecordId++;
    if (!FPositionsStale)
        FPositionOfId.push_back(-1); // the caller places the record
    return id;
}

int TSybDataSet::positionOfId(int32_t Id) const {
    if (Id < FFirstRecordId || Id >= FNextRecordId)
        return -1;
    const auto count = static_cast<int>(FRecords.size());
    // The internal position and its neighbours are where the engine asks most often
    // (re-reading the window after a delete, a post or a sort).
    if (FCurRec >= 0 && FCurRec < count &&
        recordId(FRecords[static_cast<std::size_t>(FCurRec)]) == Id)
        return FCurRec;
    if (FPositionsStale) {
        const int reach = BufferCount() + 1;
        for (int d = 1; d <= reach; ++d) {
            for (int i : {FCurRec - d, FCurRec + d})
                if (i >= 0 && i < count && recordId(FRecords[static_cast<std::size_t>(i)]) == Id)
                    return i;
        }
    }
    auto lookUp = [&]() -> int {
        const auto slot = static_cast<std::size_t>(Id - FFirstRecordId);
        if (slot >= FPositionOfId.size())
            return -1;
        const int p = FPositionOfId[slot];
        if (p < 0)
            return -1; // no stored record has it
        return p < count && recordId(FRecords[static_cast<std::size_t>(p)]) == Id ? p : -2;
    };
    if (!FPositionsStale) {
        const int p = lookUp();
        if (p != -2)
            return p;
    }
    // Stale, or an entry that no longer holds: rebuild and look again.
    FPositionOfId.assign(static_cast<std::size_t>(FNextRecordId - FFirstRecordId), -1);
    for (int i = 0; i < count; ++i) {
        const int32_t id = recordId(FRecords[static_cast<std::size_t>(i)]);
        if (id >= FFirstRecordId && id < FNextRecordId)
            FPositionOfId[static_cast<std::size_t>(id - FFirstRecordId)] = i;
    }
    FPositionsStale = false;
    const int p = lookUp();
    return p < 0 ? -1 : p;
}

} // namespace tovrin
