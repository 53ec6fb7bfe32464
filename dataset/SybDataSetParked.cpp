// TSybDataSet: parked rows. When a dataset must show other rows while changes to its
// present ones are not yet applied (a detail whose master moved to another record), its
// records and their changes are set aside under the key of what produced them, and come
// back, changes included, when rows of that key are read again. Until then they still
// count as pending and are applied with the shown ones.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Fields.h"

namespace tovrin {

using namespace host;

namespace {

// Releases a parked block: the blob holders its blob slots refer to, then the block.
void releaseParkedBlock(TRecordBuffer Block, const std::vector<int32_t>& BlobSlots) noexcept {
    if (!Block)
        return;
    for (const int32_t offset : BlobSlots) {
        TBTBlob* blob;
        std::memcpy(&blob, Block + offset + 1, sizeof blob);
        delete blob;
    }
    delete[] Block;
}

} // namespace

void TSybDataSet::releaseParked(TParkedRows& Rows) noexcept {
    for (TRecordBuffer r : Rows.Records)
        releaseParkedBlock(r, Rows.BlobSlots);
    for (TPendingChange& change : Rows.Pending) {
        releaseParkedBlock(change.Original, Rows.BlobSlots);
        releaseParkedBlock(change.Deleted, Rows.BlobSlots);
    }
    Rows.Records.clear();
    Rows.Pending.clear();
}

int TSybDataSet::PendingChangeCount() const noexcept {
    std::size_t count = FPending.size();
    for (const TParkedRows& rows : FParked)
        count += rows.Pending.size();
    return static_cast<int>(std::min<std::size_t>(count, INT_MAX));
}

std::vector<int32_t> TSybDataSet::layoutSignature() const {
    std::vector<int32_t> signature{FRecordSize, FDataSize};
    signature.insert(signature.end(), FFieldOffsets.begin(), FFieldOffsets.end());
    for (const auto& f : FFetchFields)
        signature.push_back(static_cast<int32_t>(f->GetOstrelDataType()));
    return signature;
}

std::vector<int32_t> TSybDataSet::blobSlotOffsets() const {
    std::vector<int32_t> offsets;
    for (std::size_t i = 0; i < FFetchFields.size(); ++i) {
        const TFieldType t = FFetchFields[i]->GetOstrelDataType();
        if (t >= ftBlob && t <= ftTypedBinary)
            offsets.push_back(FFieldOffsets[i + 1]);
    }
    for (TField* f : Fields()) {
        if (f->FieldNo() > 0 || !isBlobSlot(f))
            continue;
        if (f->FieldKind() != fkCalculated && f->FieldKind() != fkLookup)
            continue;
        offsets.push_back(FFieldOffsets[0] + f->Offset()); // where GetFieldPointer finds it
    }
    return offsets;
}

void TSybDataSet::parkRows(const std::string& Key) {
    if (FPending.empty())
        return;
    detachBlobStreams();
    TParkedRows rows;
    rows.Key = Key;
    rows.Layout = layoutSignature();
    rows.BlobSlots = blobSlotOffsets();
    FParked.reserve(FParked.size() + 1);

    // Copies of every block first; the store's blocks are given back only once all the
    // copies exist, so that a failure leaves the dataset as it was.
    const auto size = static_cast<std::size_t>(FRecordSize);
    std::vector<std::unique_ptr<char[]>> copies;
    auto copyOf = [&](TRecordBuffer Block) -> TRecordBuffer {
        if (!Block)
            return nullptr;
        copies.push_back(std::make_unique<char[]>(size));
        std::memcpy(copies.back().get(), Block, size);
        return copies.back().get();
    };
    rows.Records.reserve(FRecords.size());
    for (TRecordBuffer r : FRecords)
        rows.Records.push_back(copyOf(r));
    rows.Pending = FPending;
    for (TPendingChange& change : rows.Pending) {
        change.Original = copyOf(change.Original);
        change.Deleted = copyOf(change.Deleted);
    }

    // The blob holders now belong to the copies: the store blocks go without them.
    for (TRecordBuffer r : FRecords)
        freeBlock(r);
    for (TPendingChange& change : FPending) {
        freeBlock(change.Original);
        freeBlock(change.Deleted);
    }
    for (auto& copy : copies)
        (void)copy.release();
    FRecords.clear();
    FPending.clear();
    FPendingIndex.clear();
    recordsMoved();
    FCurRec = -1;
    FParked.push_back(std::move(rows));
}

bool TSybDataSet::restoreParkedRows(const std::string& Key) {
    const auto it = std::find_if(FParked.begin(), FParked.end(),
                                 [&](const TParkedRows& r) { return r.Key == Key; });
    if (it == FParked.end())
        return false;
    if (it->Layout != layoutSignature())
        DatabaseError("The columns of the rows changed since changes to them were made; their "
                      "changes cannot be shown: cancel them (CancelUpdates)",
                      this);
    TParkedRows rows = std::move(*it);
    FParked.erase(it);
    releaseStoredRecords();
    FRecords = std::move(rows.Records);
    // New identities, as a fresh read gets; each change follows its record.
    std::unordered_map<int32_t, int32_t> ids;
    std::vector<int32_t> before;
    before.reserve(FRecords.size());
    for (TRecordBuffer r : FRecords)
        before.push_back(recordId(r));
    numberRecords();
    for (std::size_t i = 0; i < FRecords.size(); ++i)
        ids[before[i]] = recordId(FRecords[i]);
    for (TPendingChange& change : rows.Pending) {
        const auto found = ids.find(change.Id);
        change.Id = found != ids.end() ? found->second : takeRecordId();
        if (change.Original)
            setRecordId(change.Original, change.Id);
        if (change.Deleted)
            setRecordId(change.Deleted, change.Id);
    }
    FPending = std::move(rows.Pending);
    rebuildPendingIndex();
    recordsMoved();
    FListSorted = false;
    FCurRec = -1;
    return true;
}

TSybDataSet::TParkedScope::TParkedScope(TSybDataSet& DataSet, std::size_t Index)
    : m_dataSet(DataSet), m_rows(DataSet.FParked.at(Index)), m_firstId(DataSet.FFirstRecordId),
      m_nextId(DataSet.FNextRecordId), m_curRec(DataSet.FCurRec),
      m_positions(std::move(DataSet.FPositionOfId)) {
    if (m_rows.Layout != DataSet.layoutSignature()) {
        DataSet.FPositionOfId = std::move(m_positions);
        DatabaseError("The columns of the rows changed since changes to them were made; their "
                      "changes cannot be applied: cancel them (CancelUpdates)",
                      &DataSet);
    }
    // The set's identities are of the read it came from: the position table spans them.
    int32_t first = INT32_MAX, last = 0;
    auto span = [&](int32_t Id) {
        first = std::min(first, Id);
        last = std::max(last, Id);
    };
    for (TRecordBuffer r : m_rows.Records)
        span(DataSet.recordId(r));
    for (const TPendingChange& change : m_rows.Pending)
        span(change.Id);
    std::swap(DataSet.FRecords, m_rows.Records);
    std::swap(DataSet.FPending, m_rows.Pending);
    DataSet.rebuildPendingIndex();
    DataSet.FFirstRecordId = first == INT32_MAX ? 1 : first;
    DataSet.FNextRecordId = first == INT32_MAX ? 1 : last + 1;
    DataSet.FPositionOfId.clear();
    DataSet.recordsMoved();
    DataSet.FCurRec = -1;
}

TSybDataSet::TParkedScope::~TParkedScope() {
    std::swap(m_dataSet.FRecords, m_rows.Records);
    std::swap(m_dataSet.FPending, m_rows.Pending);
    m_dataSet.rebuildPendingIndex();
    m_dataSet.FFirstRecordId = m_firstId;
    m_dataSet.FNextRecordId = m_nextId;
    m_dataSet.FCurRec = m_curRec;
    m_dataSet.FPositionOfId = std::move(m_positions);
    m_dataSet.recordsMoved();
}

void TSybDataSet::mergeParked(const std::vector<std::vector<int32_t>>& Skipped) noexcept {
    for (std::size_t i = FParked.size(); i-- > 0;) {
        {
            // The layout was checked when the changes were applied.
            const TParkedScope scope(*this, i);
            mergePending(i < Skipped.size() ? Skipped[i] : std::vector<int32_t>());
        }
        if (FParked[i].Pending.empty()) {
            releaseParked(FParked[i]);
            FParked.erase(FParked.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void TSybDataSet::discardParked() noexcept {
    for (TParkedRows& rows : FParked)
        releaseParked(rows);
    FParked.clear();
}

} // namespace tovrin
