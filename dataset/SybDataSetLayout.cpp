// TSybDataSet: the record layout, the record store and the fetch-field list.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"

namespace tovrin {

using namespace host;

int GetFieldSize(TFieldType DataType, int Size) noexcept {
    switch (DataType) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftBytes:
        return Size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
        return 2;
    case ftInteger:
    case ftAutoInc:
        return 4;
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftLargeint:
        return 8;
    case ftBCD:
        return static_cast<int>(sizeof(TBcd));
    case ftVarBytes:
        // The host's own format: a 16-bit length and up to Size bytes.
        return Size + 2;
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
        return static_cast<int>(sizeof(TBTBlob*));
    default:
        return 0;
    }
}

int GetFieldSize(const TField* Field) noexcept {
    if (Field->DataType() == ftBCD)
        return Field->DataSize();
    return GetFieldSize(Field->DataType(), Field->Size());
}

// ---- TBTFetchField -------------------------------------------------------------------------

TBTFetchField::TBTFetchField(TSybDataSet* ADataSet) : FOwnerDataSet(ADataSet) {
    if (ADataSet)
        ADataSet->FFetchFields.emplace_back(this);
}

TBTFetchField::~TBTFetchField() {
    // A descriptor destroyed while still listed (its subclass's constructor failed, or
    // someone deletes it directly) leaves the list so that nothing is freed twice.
    if (FOwnerDataSet) {
        auto& list = FOwnerDataSet->FFetchFields;
        auto it = std::find_if(list.begin(), list.end(),
                               [this](const auto& listed) { return listed.get() == this; });
        if (it != list.end()) {
            (void)it->release(); // being destroyed already
            list.erase(it);
        }
    }
}

// ---- TRecordStore ----------------------------------------------------------------------------

namespace {
constexpr std::size_t kFirstChunkBytes = std::size_t{16} << 10;
constexpr std::size_t kLargestChunkBytes = std::size_t{4} << 20;

// Whether Block lies in the Bytes bytes from Base (compared as std::less orders pointers
// of unrelated allocations).
bool within(const char* Block, const char* Base, std::size_t Bytes) noexcept {
    return !std::less<>()(Block, Base) && std::less<>()(Block, Base + Bytes);
}
} // namespace

TRecordStore::~TRecordStore() {
    for (const Chunk& c : FChunks)
        std::free(c.base);
    for (const Chunk& c : FRetired)
        std::free(c.base);
}

void TRecordStore::Reset(int32_t BlockSize) {
    if (FLive == 0) {
        for (const Chunk& c : FChunks)
            std::free(c.base);
        for (const Chunk& c : FRetired)
            std::free(c.base);
        FRetired.clear();
    } else {
        // Someone still holds blocks: their memory must stay.
        FRetired.insert(FRetired.end(), FChunks.begin(), FChunks.end());
    }
    FLive = 0;
    FChunks.clear();
    FFree.clear();
    FFree.shrink_to_fit();
    FNext = FEnd = nullptr;
    FBlockSize = std::max<int32_t>(BlockSize, 0);
}

char* TRecordStore::Alloc() {
    char* block;
    if (!FFree.empty()) {
        block = FFree.back();
        FFree.pop_back();
    } else {
        auto size = static_cast<std::size_t>(std::max<int32_t>(FBlockSize, 1));
        if (FNext == nullptr || static_cast<std::size_t>(FEnd - FNext) < size) {
            // Each chunk twice the one taken before (FChunks is ordered by address, which
            // says nothing about the order the chunks came in).
            std::size_t bytes = FChunks.empty() ? kFirstChunkBytes
                                                : std::min(FLastChunkBytes * 2, kLargestChunkBytes);
            bytes = std::max(bytes, size);
            bytes -= bytes % size;
            auto* base = static_cast<char*>(std::malloc(bytes));
            if (!base)
                throw std::bad_alloc();
            Chunk chunk{base, bytes};
            // Keep the chunks ordered by address so that Release finds a block's chunk by
            // binary search.
            auto at = std::upper_bound(
                FChunks.begin(), FChunks.end(), chunk,
                [](const Chunk& a, const Chunk& b) { return std::less<>()(a.base, b.base); });
            try {
                FChunks.insert(at, chunk);
            } catch (...) {
                std::free(base);
                throw;
            }
            FLastChunkBytes = bytes;
            FNext = base;
            FEnd = base + bytes;
        }
        block = FNext;
        FNext += size;
    }
    std::memset(block, 0, static_cast<std::size_t>(FBlockSize));
    ++FLive;
    return block;
}

bool TRecordStore::owns(const char* Block) const noexcept {
    if (FLastChunk < FChunks.size()) {
        const Chunk& last = FChunks[FLastChunk];
        if (within(Block, last.base, last.bytes))
            return true;
    }
    auto it =
        std::upper_bound(FChunks.begin(), FChunks.end(), Block,
                         [](const char* p, const Chunk& c) { return std::less<>()(p, c.base); });
    if (it == FChunks.begin())
        return false;
    --it;
    if (!within(Block, it->base, it->bytes))
        return false;
    FLastChunk = static_cast<std::size_t>(it - FChunks.begin());
    return true;
}

bool TRecordStore::inRetiredChunk(const char* Block) const noexcept {
    for (const Chunk& c : FRetired)
        if (within(Block, c.base, c.bytes))
            return true;
    return false;
}

bool TRecordStore::Drop(char* Block) noexcept {
    if (!Block)
        return false;
    if (!owns(Block))
        return inRetiredChunk(Block);
    if (FLive > 0)
        --FLive;
    return true;
}

bool TRecordStore::Release(char* Block) noexcept {
    if (!Drop(Block))
        return false;
    // A block of a retired chunk stays where it is until the store goes.
    if (!owns(Block))
        return true;
    try {
        FFree.push_back(Block);
    } catch (...) {
        // Without room in the free list the block stays unused until the next Reset.
    }
    return true;
}

std::size_t TRecordStore::Footprint() const noexcept {
    std::size_t total = FFree.capacity() * sizeof(char*) + FChunks.capacity() * sizeof(Chunk);
    for (const Chunk& c : FChunks)
        total += c.bytes;
    for (const Chunk& c : FRetired)
        total += c.bytes;
    return total;
}

// ---- layout ------------------------------------------------------------------------------------

void TSybDataSet::CreateBuffer() {
    const auto count = FFetchFields.size();
    // One entry per column and one for the calculated area.
    FFieldOffsets.assign(count + 1, 0);
    int64_t size = 0;
    for (std::size_t i = 0; i < count; ++i) {
        FFieldOffsets[i + 1] = static_cast<int32_t>(size);
        size += static_cast<int64_t>(FFetchFields[i]->GetOstrelLength()) + 1;
        if (size > std::numeric_limits<int32_t>::max() / 2)
            DatabaseError("Record too large: the columns take more than 1 GiB", this);
    }
    FDataSize = static_cast<int32_t>(size);
    FRecordInfoOffset = FDataSize;
    FFieldOffsets[0] = FDataSize + 8;
    FRecordSize = FDataSize + 8 + CalcFieldsSize();
    FStore.Reset(FRecordSize);
}

int32_t TSybDataSet::FieldOffset(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(FFieldOffsets.size()))
        throw EListError("List index out of bounds (%d)", {Index});
    return FFieldOffsets[static_cast<std::size_t>(Index)];
}

char* TSybDataSet::GetFieldPointer(char* Buffer, TField* Field) const noexcept {
    if (!Buffer || !Field)
        return nullptr;
    const int no = Field->FieldNo();
    if (no > 0) {
        if (static_cast<std::size_t>(no) > FFetchFields.size())
            return nullptr;
        return Buffer + FFieldOffsets[static_cast<std::size_t>(no)];
    }
    return Buffer + FFieldOffsets[0] + Field->Offset();
}

char* TSybDataSet::GetActiveRecordBuffer() const {
    if (FReadBuffer)
        return State() == dsOldValue ? const_cast<char*>(fetchedValues(FReadBuffer)) : FReadBuffer;
    switch (State()) {
    case dsBrowse:
        return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
    case dsCurValue:
        return ActiveBuffer();
    case dsCalcFields:
        return CalcBuffer();
    case dsFilter:
        return FFilterBuffer;
    case dsOldValue: {
        // The values as fetched: those kept for an edited record (none for a new one),
        // else the copy taken when the edit began.
        const TRecordBuffer active = ActiveBuffer();
        if (active && !FPending.empty() && !IsEmpty() &&
            active[FRecordInfoOffset + 4] != static_cast<char>(bfInserted) &&
            RecordStatus(active) != usUnmodified)
            return const_cast<char*>(fetchedValues(active));
        return FOldBuffer ? FOldBuffer : active;
    }
    default:
        return nullptr;
    }
}

TBTFetchField* TSybDataSet::GetFetchField(int Index) const {
    if (Index < 0 || Index >= FetchFieldCount())
        throw EListError("List index out of bounds (%d)", {Index});
    return FFetchFields[static_cast<std::size_t>(Index)].get();
}

void TSybDataSet::ClearFetchFields() {
    // Each descriptor leaves the list before it is destroyed, so that its destructor
    // does not find itself there.
    while (!FFetchFields.empty()) {
        std::unique_ptr<TBTFetchField> last = std::move(FFetchFields.back());
        FFetchFields.pop_back();
    }
}

void TSybDataSet::InternalInitRecord(TRecordBuffer Buffer) {
    std::memset(Buffer, 0, static_cast<std::size_t>(FRecordSize));
    setRecordId(Buffer, -1);
}

// ---- record blocks
// -------------------------------------------------------------------------------

TRecordBuffer TSybDataSet::AllocStoredRecord() {
    if (FStore.BlockSize() != FRecordSize) {
        // No layout in force for the store (a buffer asked for before CreateBuffer).
        auto* block = new char[static_cast<std::size_t>(std::max<int32_t>(FRecordSize, 1))];
        std::memset(block, 0, static_cast<std::size_t>(FRecordSize));
        return block;
    }
    return FStore.Alloc();
}

void TSybDataSet::freeBlock(TRecordBuffer Buffer) noexcept {
    if (!Buffer)
        return;
    if (!FStore.Release(Buffer))
        delete[] Buffer;
}

bool TSybDataSet::isBlobSlot(const TField* Field) noexcept {
    const TFieldType t = Field->DataType();
    return t >= ftBlob && t <= ftTypedBinary;
}

void TSybDataSet::freeRecordBlobs(TRecordBuffer Buffer) noexcept {
    // The data part follows the layout of the fetch fields, so that a column without a
    // persistent field still gives its holders back; the calculated area follows the
    // calculated and lookup fields.
    for (std::size_t i = 0; i < FFetchFields.size(); ++i) {
        const TFieldType t = FFetchFields[i]->GetOstrelDataType();
        if (t < ftBlob || t > ftTypedBinary)
            continue;
        char* value = Buffer + FFieldOffsets[i + 1] + 1;
        TBTBlob* blob;
        std::memcpy(&blob, value, sizeof blob);
        delete blob;
        blob = nullptr;
        std::memcpy(value, &blob, sizeof blob);
    }
    for (TField* f : Fields()) {
        if (f->FieldNo() > 0 || !isBlobSlot(f))
            continue;
        if (f->FieldKind() != fkCalculated && f->FieldKind() != fkLookup)
            continue;
        char* slot = GetFieldPointer(Buffer, f);
        if (!slot)
            continue;
        TBTBlob* blob;
        std::memcpy(&blob, slot + 1, sizeof blob);
        delete blob;
        blob = nullptr;
        std::memcpy(slot + 1, &blob, sizeof blob);
    }
}

bool TSybDataSet::layoutHasBlobs() const noexcept {
    // The slots freeRecordBlobs visits: blob fetch fields, blob calculated and lookup fields.
    for (const auto& f : FFetchFields) {
        TFieldType t;
        try {
            t = f->GetOstrelDataType();
        } catch (...) {
            return true; // a type without a slot format: let freeRecordBlobs decide
        }
        if (t >= ftBlob && t <= ftTypedBinary)
            return true;
    }
    for (TField* f : Fields()) {
        if (f->FieldNo() > 0 || !isBlobSlot(f))
            continue;
        if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup)
            return true;
    }
    return false;
}

void TSybDataSet::releaseStoredRecords() noexcept {
    // Store blocks are dropped rather than released: nothing reuses them, the store's
    // next Reset frees their chunks whole.
    discardPending();
    if (FRecords.empty())
        return;
    const bool blobs = layoutHasBlobs();
    for (TRecordBuffer r : FRecords) {
        if (!r)
            continue;
        if (blobs)
            freeRecordBlobs(r);
        if (!FStore.Drop(r))
            delete[] r;
    }
    FRecords.clear();
    recordsMoved();
}

void TSybDataSet::_InternalFreeRecord(TRecordBuffer Buffer) {
    if (!Buffer)
        return;
    freeRecordBlobs(Buffer);
    freeBlock(Buffer);
}

} // namespace tovrin
