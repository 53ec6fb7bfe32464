// The in-memory dataset: TSybDataSet keeps every record of an open result in memory, each
// record one flat block laid out from the column descriptors (TBTFetchField), and turns the
// list of stored records into a navigable, filterable, sortable and editable cursor of the
// host framework. Text and image values live outside the records in TBTBlob holders that
// the host reads and writes through TBTBlobStream.
//
// Record layout (every buffer of the dataset: stored records, the host's display buffers,
// scratch and key buffers):
//   FFieldOffsets[n]   slot of fetch field n (1-based): a flag byte (0 null, 1 value) and
//                      GetFieldSize(type, size) value bytes; the slots follow each other
//   FDataSize          record identity, 32-bit: given to a stored record when it is
//                      fetched or posted, never reused by the dataset, -1 none (a bookmark)
//   FDataSize + 4      bookmark flag (TBookmarkFlag ordinal)
//   FDataSize + 5      update status of a stored record (TUpdateStatus ordinal), then 2
//                      reserved bytes
//   FDataSize + 8      calculated-field area, each calculated or lookup field at its Offset
// Values are stored in the host's record formats and always read and written with memcpy:
// slots are not aligned.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tovrin5/host/DataSet.h"
#include "tovrin5/host/Streams.h"
#include "tovrin5/host/Variant.h"

namespace tovrin {

class TSybDataSet;
class TBTBlob;

/// Byte size of the value area of a field of type DataType and size Size in a record
/// buffer (strings and bytes Size + 1, variable bytes a 16-bit length and Size bytes,
/// integers their width, dates 8, BCD 34, blob holder references the size of a pointer,
/// types without a value 0). The host's fields exchange values of the same size, so a
/// field's buffer and its calculated slot always hold what the dataset copies.
[[nodiscard]] int GetFieldSize(host::TFieldType DataType, int Size) noexcept;
/// The value bytes of the field's slot: GetFieldSize of its type and size, but 8 for a
/// decimal field that keeps 64-bit units (TBCDField::Int64Slot).
[[nodiscard]] int GetFieldSize(const host::TField* Field) noexcept;

/// Windows language and locale identifiers (MAKELANGID, MAKELCID).
[[nodiscard]] constexpr uint16_t MAKELANGID(uint16_t Primary, uint16_t Sub) noexcept {
    return static_cast<uint16_t>((Sub << 10) | Primary);
}
[[nodiscard]] constexpr uint32_t MAKELCID(uint16_t LangId, uint16_t SortId) noexcept {
    return (static_cast<uint32_t>(SortId) << 16) | LangId;
}

/// Options of a record comparison.
enum TBTCompareOption : uint8_t { btcoDescending = 0, btcoCaseInsensitive, btcoPartialKey };

/// A set of TBTCompareOption held in one byte, bit n for ordinal n.
class TBTCompareOptions {
public:
    constexpr TBTCompareOptions() noexcept = default;
    constexpr TBTCompareOptions(std::initializer_list<TBTCompareOption> items) noexcept {
        for (TBTCompareOption item : items)
            FBits = static_cast<uint8_t>(FBits | bit(item));
    }
    [[nodiscard]] static constexpr TBTCompareOptions FromBits(uint8_t Bits) noexcept {
        TBTCompareOptions s;
        s.FBits = Bits;
        return s;
    }
    [[nodiscard]] constexpr bool Contains(TBTCompareOption Item) const noexcept {
        return (FBits & bit(Item)) != 0;
    }
    constexpr TBTCompareOptions& Include(TBTCompareOption Item) noexcept {
        FBits = static_cast<uint8_t>(FBits | bit(Item));
        return *this;
    }
    constexpr TBTCompareOptions& Exclude(TBTCompareOption Item) noexcept {
        FBits = static_cast<uint8_t>(FBits & ~bit(Item));
        return *this;
    }
    [[nodiscard]] constexpr bool Empty() const noexcept { return FBits == 0; }
    [[nodiscard]] constexpr uint8_t Bits() const noexcept { return FBits; }
    constexpr bool operator==(const TBTCompareOptions&) const noexcept = default;

private:
    static constexpr uint8_t bit(TBTCompareOption Item) noexcept {
        return static_cast<uint8_t>(1u << static_cast<unsigned>(Item));
    }
    uint8_t FBits = 0;
};
static_assert(sizeof(TBTCompareOptions) == 1);

/// Compares two present values of a field type in their slot format (A the first
/// record's value or the search key): -1, 0 or 1. Texts compare through the collators
/// without their trailing blanks, as the server compares them (btcoCaseInsensitive,
/// btcoPartialKey cuts B to A's length in characters); integers,
/// floats, dates and large integers by value, BCD by numeric value, ftBytes bytewise
/// unsigned over Size bytes, ftVarBytes bytewise unsigned over their stored lengths (a
/// prefix of a longer value first); types without a comparable value are equal.
[[nodiscard]] int CompareFieldValues(host::TFieldType Type, const char* A, const char* B, int Size,
                                     TBTCompareOptions Options);

/// The abstract column descriptor: one column of the open result, in column order. Fetch
/// field i (0-based) backs the host field whose FieldNo is i + 1.
class TBTFetchField : public host::TObject {
public:
    /// Appends the new descriptor to ADataSet's fetch-field list, which then owns it;
    /// with nullptr the descriptor belongs to whoever created it.
    explicit TBTFetchField(TSybDataSet* ADataSet);
    /// Leaves the dataset's list if it is still there.
    ~TBTFetchField() override;
    [[nodiscard]] std::string ClassName() const override { return "TBTFetchField"; }

    /// The host field type the column is exposed as.
    [[nodiscard]] virtual host::TFieldType GetOstrelDataType() = 0;
    /// Byte size of the column's value area in a record buffer.
    [[nodiscard]] virtual int GetOstrelLength() = 0;
    /// The column name.
    [[nodiscard]] virtual std::string GetName() = 0;

private:
    friend class TSybDataSet;
    TSybDataSet* FOwnerDataSet;
};

/// Holder of one text or image value. Owned by the stored record whose slot refers to it.
class TBTBlob : public host::TObject {
public:
    TBTBlob() = default;
    ~TBTBlob() override;
    [[nodiscard]] std::string ClassName() const override { return "TBTBlob"; }

    /// Takes the whole content of Stream (from its start, whatever its position).
    void LoadFromStream(host::TMemoryStream* Stream);
    /// Replaces Stream's content with the value; the position ends at 0.
    void SaveToStream(host::TMemoryStream* Stream);
    [[nodiscard]] int32_t Size() const noexcept { return FSize; }
    [[nodiscard]] const std::string& Value() const noexcept { return FValue; }
    /// Replaces the content.
    void SetValue(std::string Value);

private:
    int32_t FSize = 0;
    std::string FValue;
};

/// A memory stream over the value of a blob field in the dataset's current record. Loaded
/// from the holder when opened (bmRead, bmReadWrite), stored back when destroyed if it was
/// written (bmWrite, and bmReadWrite once written to).
///
/// A value written while a record is edited or inserted goes into a holder that belongs
/// to the edit: Post puts it in place of the stored record's holder, Cancel releases it.
/// A stored record's value therefore never changes before Post. Reading a null value
/// makes no holder (nothing to store back), so browsing leaves nothing to reclaim.
///
/// The dataset knows its open streams. Post stores what a stream still open has written
/// (SetSize included); Post, Cancel, Delete, Close and the dataset's destruction then
/// detach every stream of the record: a detached stream keeps its bytes for reading, a
/// write or resize raises, and its destruction touches neither record nor dataset.
class TBTBlobStream : public host::TMemoryStream {
public:
    /// Raises EInvalidCast when the field's dataset is not a TSybDataSet; a database
    /// error when writing (bmWrite, bmReadWrite) a read-only field or outside dsEdit and
    /// dsInsert.
    TBTBlobStream(host::TBlobField* Field, host::TBlobStreamMode Mode);
    /// Stores a written value back, sets the field's Modified flag and sends
    /// deFieldChange; errors there go to Application.HandleException.
    ~TBTBlobStream() override;
    [[nodiscard]] std::string ClassName() const override { return "TBTBlobStream"; }

    int64_t Write(const void* Buffer, int64_t Count) override;
    /// Resizing a stream opened for writing is a change to store (truncation included).
    void SetSize(int64_t NewSize) override;
    /// Stores the stream's whole content as the field's value (an empty stream is null).
    void WriteBlobData();
    /// Loads the holder's content (position 0 afterwards).
    void ReadBlobData();
    /// Empties the stream and marks it modified.
    void Truncate();

private:
    host::TBlobField* FField;
    TSybDataSet* FDataSet;
    host::TBlobStreamMode FMode;
    TBTBlob* FBlob = nullptr;
    char* FFieldData = nullptr;
    bool FModified = false;
    bool FLoading = false;
    bool FRegistered = false; // in the dataset's list of open streams
    bool FDetached = false;   // its record was released: no more writes

    friend class TSybDataSet;
    /// Forgets the record: nothing is stored back any more.
    void Detach() noexcept;
    void checkAttached() const;
};

/// Blocks of one record size, carved from large chunks; what the record list stores.
/// Keeps the per-record memory close to the record size. Not a general allocator: all
/// blocks have the size given at the last Reset.
class TRecordStore {
public:
    TRecordStore() = default;
    ~TRecordStore();
    TRecordStore(const TRecordStore&) = delete;
    TRecordStore& operator=(const TRecordStore&) = delete;

    /// Sets the size of the next blocks. Blocks still handed out stay valid (their memory
    /// is kept until the store is destroyed); the others are given back to the system.
    void Reset(int32_t BlockSize);
    /// A zero-filled block of the current size.
    [[nodiscard]] char* Alloc();
    /// Returns a block of this store for reuse; false (and nothing done) when the block
    /// is not one of this store's.
    bool Release(char* Block) noexcept;
    /// Takes a block of this store back without keeping it for reuse, for a caller that
    /// gives up many blocks before the next Reset (a dataset closing); false (and nothing
    /// done) when the block is not one of this store's.
    bool Drop(char* Block) noexcept;
    [[nodiscard]] int32_t BlockSize() const noexcept { return FBlockSize; }
    /// Bytes taken from the system (chunks and bookkeeping).
    [[nodiscard]] std::size_t Footprint() const noexcept;

private:
    [[nodiscard]] bool owns(const char* Block) const noexcept;
    [[nodiscard]] bool inRetiredChunk(const char* Block) const noexcept;
    struct Chunk {
        char* base;
        std::size_t bytes;
    };
    int32_t FBlockSize = 0;
    std::vector<Chunk> FChunks;         // ordered by address
    mutable std::size_t FLastChunk = 0; // the chunk owns() found last: records come in runs
    std::size_t FLastChunkBytes = 0;    // size of the chunk taken last
    std::vector<Chunk> FRetired;        // chunks of an earlier size with blocks still out
    std::size_t FLive = 0;              // blocks handed out and not released
    std::vector<char*> FFree;
    char* FNext = nullptr;
    char* FEnd = nullptr;
};

class TSybDataSet : public host::TDataSet {
public:
    explicit TSybDataSet(host::TComponent* AOwner);
    ~TSybDataSet() override;
    [[nodiscard]] std::string ClassName() const override { return "TSybDataSet"; }

    // ---- layout (computed by CreateBuffer) ---------------------------------------------
    /// Lays the record out from the fetch fields (after the host bound its fields, so
    /// that CalcFieldsSize is known); resets the record store.
    void CreateBuffer();
    /// Address of the field's flag byte in Buffer (the value follows); nullptr for a
    /// nullptr buffer or a field the layout does not know.
    [[nodiscard]] char* GetFieldPointer(char* Buffer, host::TField* Field) const noexcept;
    /// The buffer a field access reads in the current state (nullptr when none).
    [[nodiscard]] char* GetActiveRecordBuffer() const;
    /// Fetch field at a 0-based index; EListError outside the list.
    [[nodiscard]] TBTFetchField* GetFetchField(int Index) const;
    [[nodiscard]] int FetchFieldCount() const noexcept {
        return static_cast<int>(FFetchFields.size());
    }
    /// Destroys the fetch fields, last first.
    void ClearFetchFields();
    [[nodiscard]] int32_t RecordSize() const noexcept { return FRecordSize; }
    [[nodiscard]] int32_t DataSize() const noexcept { return FDataSize; }
    [[nodiscard]] int32_t RecordInfoOffset() const noexcept { return FRecordInfoOffset; }
    /// Entry n of the offset table (0: calculated area, n >= 1: slot of field n).
    [[nodiscard]] int32_t FieldOffset(int Index) const;

    // ---- stored records -----------------------------------------------------------------
    /// A zero-filled block of FRecordSize bytes for a record to be stored with AddRecord
    /// (cheaper per record than AllocRecordBuffer).
    [[nodiscard]] host::TRecordBuffer AllocStoredRecord();
    /// Appends a stored record (a block from AllocStoredRecord or AllocRecordBuffer),
    /// which the list then owns; leaves FListSorted as it is. For the fetch: the records
    /// get their identities when the open completes.
    void AddRecord(host::TRecordBuffer Buffer);
    [[nodiscard]] int StoredRecordCount() const noexcept {
        return static_cast<int>(FRecords.size());
    }
    [[nodiscard]] host::TRecordBuffer StoredRecord(int Index) const;
    /// 0-based index of the internal position (-1 before the first record).
    [[nodiscard]] int CurRec() const noexcept { return FCurRec; }
    /// Accepts or rejects a record buffer through OnFilterRecord (when IsFiltered).
    bool FilterRecord(host::TRecordBuffer Buffer);

    // ---- sorting ------------------------------------------------------------------------
    /// Sorts by SortFields with these options.
    void Sort(TBTCompareOptions Options);
    /// Sorts by the given fields without changing SortFields.
    void SortOn(const std::string& FieldNames, TBTCompareOptions Options);
    /// Sort with the options of the last sort.
    void SortDefault();
    /// Always: the records are held in memory.
    [[nodiscard]] bool CanSortByFields() const override { return true; }
    /// SortFields becomes FieldNames and the records are sorted, descending when asked.
    void SortByFields(const std::string& FieldNames, bool Descending) override;
    [[nodiscard]] bool AutoSort() const noexcept { return FAutoSort; }
    void SetAutoSort(bool Value);
    [[nodiscard]] const std::string& SortFields() const noexcept { return FSortFields; }
    void SetSortFieldNames(const std::string& Value);
    [[nodiscard]] bool DoBinaryLocate() const noexcept { return FDoBinaryLocate; }
    void SetDoBinaryLocate(bool Value) noexcept { FDoBinaryLocate = Value; }
    [[nodiscard]] TBTCompareOptions SortOptions() const noexcept { return FSortOptions; }
    [[nodiscard]] const std::string& SortedFieldNames() const noexcept { return FSortedFieldNames; }
    [[nodiscard]] bool ListSorted() const noexcept { return FListSorted; }

    // ---- populating ---------------------------------------------------------------------
    /// Stores the values into the named fields of Buffer (one plain value for one name,
    /// else a one-dimensional array read from index 0).
    void PopulateRecord(host::TRecordBuffer Buffer, const std::string& FieldNames,
                        const host::Variant& Values);
    /// Stores one value into the field's slot of Buffer in the slot's byte format.
    void PopulateField(host::TRecordBuffer Buffer, host::TField* Field, const host::Variant& Value);
    /// Whether every key value can be stored in its key field without loss (a text within
    /// the field's size, an integer within its type's range, ...). A key that does not fit
    /// equals no stored value, so a search with it finds nothing. The values are shaped as
    /// for PopulateRecord; a wrong shape is left to PopulateRecord to report.
    [[nodiscard]] bool KeyFitsFields(const std::vector<host::TField*>& Keys,
                                     const host::Variant& Values);

    // ---- searching ----------------------------------------------------------------------
    /// Finds the first stored record (in list order) whose key fields equal the values and
    /// makes it current (BeforeScroll always; AfterScroll only when found). Options:
    /// loCaseInsensitive, loPartialKey (a key text matches the start of the value). The
    /// records are searched by halving when DoBinaryLocate is set, the records are
    /// declared sorted (DeclaredSorted) and in the order of the last sort, the key fields
    /// are the leading fields of that sort, no filter applies, the key is whole and the
    /// letter-case option equals the sort's; sequentially otherwise. Both find the same
    /// record. Found() tells the result.
    bool Locate(const std::string& KeyFields, const host::Variant& KeyValues,
                host::TLocateOptions Options) override;
    /// Values of ResultFields (one value, or an array for several names) in the first
    /// record whose key fields equal KeyValues exactly, or Null. The current record, the
    /// display buffers and the data links are left alone.
    host::Variant Lookup(const std::string& KeyFields, const host::Variant& KeyValues,
                         const std::string& ResultFields) override;
    /// The search of Locate without the move: on success the internal position is the
    /// record found (the display buffers still show the former record) and Found() is
    /// true. SyncCursor is not used. Raises "Variant array of values has invalid
    /// dimension count" for values of more than one array dimension.
    virtual bool LocateRecord(const std::string& KeyFields, const host::Variant& KeyValues,
                              host::TLocateOptions Options, bool SyncCursor);

    // ---- pending changes ------------------------------------------------------------------
    // Every edit, insert and delete is kept as a pending change until it is applied to the
    // server or cancelled: an edited record keeps a copy of its values as fetched, a
    // deleted record is kept aside with the index it had. The changes are listed in the
    // order they were first made (one entry per record).
    /// One record's pending change.
    struct TPendingChange {
        int32_t Id = -1;                        ///< the record's identity
        host::TRecordBuffer Original = nullptr; ///< values as fetched (an edited record); owned
        host::TRecordBuffer Deleted = nullptr;  ///< the record taken out by Delete; owned
        int DeletedAt = -1;                     ///< its index in the list when deleted
    };
    /// usInserted while a new record is edited; otherwise the status of the current record
    /// (usUnmodified without one).
    [[nodiscard]] host::TUpdateStatus UpdateStatus() const override;
    /// Whether changes wait to be applied: those of the records shown, and those of rows
    /// parked while the dataset shows other rows (see parkRows).
    [[nodiscard]] bool UpdatesPending() const noexcept {
        return !FPending.empty() || !FParked.empty();
    }
    /// Number of records with a change waiting to be applied, parked rows included.
    [[nodiscard]] int PendingChangeCount() const noexcept;
    /// Cancels an edit in progress, then puts every record back as fetched: edits undone,
    /// new records removed, deleted records restored at their places. Parked changes are
    /// dropped (also while the dataset is closed).
    void CancelUpdates();
    /// Cancels an edit in progress and puts the current record back as fetched (a new
    /// record goes away).
    void RevertRecord();
    /// The pending changes in the order they were made.
    [[nodiscard]] const std::vector<TPendingChange>& PendingChanges() const noexcept {
        return FPending;
    }
    /// The status a stored record or a copy of one carries.
    [[nodiscard]] host::TUpdateStatus RecordStatus(const char* Buffer) const noexcept {
        return static_cast<host::TUpdateStatus>(
            static_cast<unsigned char>(Buffer[FRecordInfoOffset + 5]));
    }

    // ---- host overrides -----------------------------------------------------------------
    [[nodiscard]] bool IsCursorOpen() const override { return FCursorOpen; }
    /// The filter setters also mark the positions of the shown records stale.
    void SetFiltered(bool Value) override;
    void SetFilter(const std::string& Value) override;
    void SetFilterOptions(host::TFilterOptions Value) override;
    void SetOnFilterRecord(host::TFilterRecordEvent Value) override;
    std::unique_ptr<host::TStream> CreateBlobStream(host::TField* Field,
                                                    host::TBlobStreamMode Mode) override;

protected:
    friend class TBTFetchField;
    friend class TBTBlobStream;

    /// A record buffer from AllocRecordBuffer, given back when the scope ends, also by an
    /// exception: the working copy a filter test, a count or a lookup reads. Without
    /// Needed it holds none.
    class TScratchRecord {
    public:
        explicit TScratchRecord(TSybDataSet& DataSet, bool Needed = true)
            : m_dataSet(DataSet), m_buffer(Needed ? DataSet.AllocRecordBuffer() : nullptr) {}
        ~TScratchRecord() {
            if (m_buffer)
                m_dataSet.FreeRecordBuffer(m_buffer);
        }
        TScratchRecord(const TScratchRecord&) = delete;
        TScratchRecord& operator=(const TScratchRecord&) = delete;
        [[nodiscard]] host::TRecordBuffer Get() const noexcept { return m_buffer; }

    private:
        TSybDataSet& m_dataSet;
        host::TRecordBuffer m_buffer;
    };

    // ---- new virtual operations ---------------------------------------------------------
    /// Produces the records (describe the result into fetch fields, CreateBuffer, store
    /// the rows, set FCursorOpen). The base does nothing.
    virtual void InternalExec();
    /// Whether records must pass FilterRecord. The base: false.
    [[nodiscard]] virtual bool IsFiltered();

    // ---- host overrides -----------------------------------------------------------------
    void DoAfterOpen() override;
    void DoOnNewRecord() override;
    [[nodiscard]] int GetRecordCount() override;
    void InternalCancel() override;
    void InternalEdit() override;
    void InternalInsert() override;
    host::TGetResult GetRecord(host::TRecordBuffer Buffer, host::TGetMode GetMode,
                               bool DoCheck) override;
    void InternalAddRecord(void* Buffer, bool Append) override;
    void InternalClose() override;
    void InternalFirst() override;
    void InternalInitRecord(host::TRecordBuffer Buffer) override;
    void InternalLast() override;
    void InternalOpen() override;
    void InternalPost() override;
    /// Makes the calculated fields of Buffer null (the calculated area zero).
    void ClearCalcFields(host::TRecordBuffer Buffer) override;
    /// One step of FindFirst/FindNext/FindPrior/FindLast to the next record the filter
    /// accepts; FindFirst and FindLast land on the first and last such record.
    bool FindRecord(bool Restart, bool GoForward) override;

    // ---- searching ----------------------------------------------------------------------
    /// Whether the application declared the stored records to be in the order of the last
    /// sort (the precondition of searching by halving). The base: false.
    [[nodiscard]] virtual bool DeclaredSorted() const { return false; }
    /// Whether a locate on Keys with FLocateOptions may search by halving.
    [[nodiscard]] bool CanBinaryLocate(const std::vector<host::TField*>& Keys);
    /// Searches First..Last of the sorted record list for Key; on a match FCurRec is the
    /// first matching record in list order. Returns the last comparison value.
    int _InternalBinarySearch(const std::vector<host::TField*>& Keys, int First, int Last,
                              char* Key, bool& Found);
    /// Searches the record list from its start (skipping records the filter rejects); on
    /// a match FCurRec is the first matching record. The range is not used.
    int _InternalSequentialSearch(const std::vector<host::TField*>& Keys, int First, int Last,
                                  char* Key, bool& Found);
    /// Tests a copy of stored record Index (numbered as GetRecord does) with the filter:
    /// through FilterRecord, or, with Always, whether or not filtering is on (FindFirst
    /// and its kin search with the filter).
    bool acceptsStored(int Index, host::TRecordBuffer Scratch, bool Always = false);
    /// The filter's test of Buffer as the record under test (dsFilter): its calculated
    /// fields computed, then the filter expression and the OnFilterRecord handler.
    bool testFilter(host::TRecordBuffer Buffer);

    // ---- record list --------------------------------------------------------------------
    /// Appends a stored record and clears FListSorted.
    void _InternalAdd(host::TRecordBuffer Buffer);
    /// Inserts a stored record at Pos (negative: 0; the count: appended); clears
    /// FListSorted.
    void _InternalInsert(int Pos, host::TRecordBuffer Buffer);
    /// Releases a stored record and the blob holders it refers to.
    void _InternalFreeRecord(host::TRecordBuffer Buffer);
    /// Releases the blob holders Buffer's blob slots refer to and nulls the references.
    void freeRecordBlobs(host::TRecordBuffer Buffer) noexcept;
    /// Releases a record block (store block or AllocRecordBuffer block).
    void freeBlock(host::TRecordBuffer Buffer) noexcept;
    /// Releases every stored record and the blob holders they refer to, and empties the
    /// record list.
    void releaseStoredRecords() noexcept;
    /// Closing's release of memory: detaches the open streams, releases the edit's blob
    /// holders, the old-values buffer and every stored record.
    void releaseRecords() noexcept;
    /// Whether a record of the current layout may refer to blob holders.
    [[nodiscard]] bool layoutHasBlobs() const noexcept;
    /// Record identity stored in Buffer's record-info area (-1: none).
    [[nodiscard]] int32_t recordId(const char* Buffer) const noexcept;
    void setRecordId(char* Buffer, int32_t Value) const noexcept;

    // ---- record identities ----------------------------------------------------------------
    // Every stored record carries an identity: the fetched records get consecutive ones in
    // fetch order when the dataset opens, a posted new record the next one. Identities are
    // never reused while the dataset object lives, so a bookmark (an identity) of a
    // deleted record or of an earlier open names no record. Positions are looked up in a
    // table rebuilt lazily after the list changed shape (sort, insert, delete).
    /// Gives the stored records identities in list order (after the fetch).
    void numberRecords();
    /// A new identity for a record about to be stored.
    [[nodiscard]] int32_t takeRecordId() noexcept;
    /// Index in FRecords of the record with that identity; -1 when no stored record has it.
    [[nodiscard]] int positionOfId(int32_t Id) const;
    /// Marks the position table stale (records moved, were inserted or deleted).
    void recordsMoved() noexcept {
        FPositionsStale = true;
        FVisibleStale = true;
    }

    // ---- positions among the shown records --------------------------------------------------
    // Under a filter the numbers of the shown records come from a table built with one
    // filter test per stored record, rebuilt lazily after the filter, a record's values,
    // the records or their order changed.
    /// 1-based number among the shown records of stored record Index, counting Index
    /// itself only when it is shown (Index + 1 without a filter).
    [[nodiscard]] int visibleNumber(int Index);
    /// Index of the Number-th shown record; -1 when there is none.
    [[nodiscard]] int visibleIndex(int Number);
    /// Number of records shown.
    [[nodiscard]] int visibleCount();
    /// Marks the table of shown records stale (a stored record's values changed).
    void visibleChanged() noexcept { FVisibleStale = true; }
    /// What a filter test of stored record Index found; a result that disagrees with the
    /// table makes it stale (a handler may read more than the record).
    void noteFilterResult(int Index, bool Accepted) noexcept;
    /// Whether the table describes the stored records as they are.
    [[nodiscard]] bool visibleTableHolds() const noexcept;
    /// Whether the table shows stored record Index (the table holds).
    [[nodiscard]] bool shownInTable(int Index) const noexcept;
    /// Tests every stored record with the filter; leaves the table stale when a handler
    /// changed the records meanwhile.
    void buildVisibleTable();
    /// Builds the table when stale; whether it holds.
    bool ensureVisibleTable();

    // ---- pending changes ------------------------------------------------------------------
    void setRecordStatus(char* Buffer, host::TUpdateStatus Value) const noexcept {
        Buffer[FRecordInfoOffset + 5] = static_cast<char>(Value);
    }
    /// The pending change of the record with that identity (nullptr: none).
    [[nodiscard]] TPendingChange* findPending(int32_t Id);
    [[nodiscard]] const TPendingChange* findPending(int32_t Id) const;
    /// A stored record is about to take edited values: keeps its fetched values the
    /// first time; returns the status the record has after the post.
    host::TUpdateStatus notePendingEdit(const char* Stored);
    /// A new record was stored.
    void notePendingInsert(char* Stored);
    /// Takes the stored record at Index out of the list: a new record is released with
    /// its pending change, any other is kept aside as deleted.
    void takeOutForDelete(int Index);
    /// The values as fetched of the record Buffer is a copy of: its kept values when it
    /// was edited, nullptr for a new record, Buffer itself otherwise.
    [[nodiscard]] const char* fetchedValues(const char* Buffer) const;
    /// Puts the record of one pending change back as fetched.
    void revertChange(const TPendingChange& Change);
    /// The pending changes are on the server now: statuses back to usUnmodified, the kept
    /// values and the deleted records released. Changes whose identity is in Skipped stay.
    void mergePending(const std::vector<int32_t>& Skipped) noexcept;
    /// Releases every pending change's kept records (Close, Refresh).
    void discardPending() noexcept;
    void rebuildPendingIndex();
    /// A copy of a stored record with blob holders of its own.
    [[nodiscard]] host::TRecordBuffer copyRecord(const char* Buffer);
    /// Re-reads the window after records came back or went away, staying on the record
    /// with identity Id when it is still there.
    void resyncAfterRevert(int32_t Id);

    // ---- parked rows (SybDataSetParked.cpp) -------------------------------------------------
    // A dataset that must show other rows while changes to the present ones are not yet
    // applied (a detail whose master moved to another record) parks its records with their
    // changes, under the key of what produced them. When rows of the same key are read
    // again, the parked records come back in their place, changes included. Parked
    // records are blocks of their own (not of the record store, which a new layout resets).
    /// The records of one earlier read and their changes.
    struct TParkedRows {
        std::string Key;
        std::vector<host::TRecordBuffer> Records; // owned
        std::vector<TPendingChange> Pending;      // its buffers owned
        std::vector<int32_t> Layout;              // layoutSignature() when parked
        std::vector<int32_t> BlobSlots;           // blobSlotOffsets() when parked
    };
    /// Parks the records and their changes under Key when changes are pending (nothing
    /// otherwise); the dataset is left with no stored record. Called right before closing.
    void parkRows(const std::string& Key);
    /// After an open read the rows of Key: the parked records of Key, if any, replace them
    /// (with new identities). Raises, keeping them parked, when the columns are no longer
    /// laid out as when they were parked.
    bool restoreParkedRows(const std::string& Key);
    [[nodiscard]] std::size_t parkedCount() const noexcept { return FParked.size(); }
    /// While it lives, parked set Index stands in for the stored records (its changes are
    /// the pending ones), so that they can be applied and merged as the shown ones are.
    /// Raises when the set is not laid out as the open rows are.
    class TParkedScope {
    public:
        TParkedScope(TSybDataSet& DataSet, std::size_t Index);
        ~TParkedScope();
        TParkedScope(const TParkedScope&) = delete;
        TParkedScope& operator=(const TParkedScope&) = delete;

    private:
        TSybDataSet& m_dataSet;
        TParkedRows& m_rows;
        int32_t m_firstId, m_nextId, m_curRec;
        std::vector<int32_t> m_positions;
    };
    /// After an apply, each parked set's changes are merged as mergePending merges the
    /// shown ones (Skipped[i] for set i); a set left without changes is released.
    void mergeParked(const std::vector<std::vector<int32_t>>& Skipped) noexcept;
    /// Releases every parked set.
    void discardParked() noexcept;
    /// Releases one parked set's blocks and the blob holders they refer to.
    static void releaseParked(TParkedRows& Rows) noexcept;
    /// What makes two layouts alike: the record sizes, the slot offsets and column types.
    [[nodiscard]] std::vector<int32_t> layoutSignature() const;
    /// Offsets of the slots that refer to blob holders (blob columns, blob calculated and
    /// lookup fields).
    [[nodiscard]] std::vector<int32_t> blobSlotOffsets() const;

    // ---- sorting and comparison ---------------------------------------------------------
    /// Fills List with the fields named in FieldNames; raises for unknown names and for
    /// fields that cannot be compared ("E_UNSUPPORTED_FIELD_TYPE").
    void BuildFieldList(std::vector<host::TField*>& List, const std::string& FieldNames);
    /// Sorts the whole record list by the fields (an edit in progress is posted first).
    void InternalSort(const std::vector<host::TField*>& Fields);
    void _InternalQuickSort(const std::vector<host::TField*>& Fields, int L, int R);
    /// Moves the record at Index to the place a full sort would give it (equal keys in
    /// identity order); returns its new index.
    int Resort(int Index);
    [[nodiscard]] int _InternalCompareRecords(const std::vector<host::TField*>& Fields, char* A,
                                              char* B, TBTCompareOptions Options);
    [[nodiscard]] int _InternalSortCompareRecords(const std::vector<host::TField*>& Fields, char* A,
                                                  char* B);
    [[nodiscard]] int _InternalKeyCompareRecords(const std::vector<host::TField*>& Fields,
                                                 char* Key, char* Rec);

    // ---- blobs during an edit -----------------------------------------------------------
    /// A new holder owned by the edit in progress.
    TBTBlob* newEditBlob();
    [[nodiscard]] bool isEditBlob(const TBTBlob* Blob) const noexcept;
    /// Releases every holder of the edit (Cancel, Close).
    void releaseEditBlobs() noexcept;
    void beginRecordChange();
    /// Post of the buffer Posted over the stored record OldStored (nullptr for a new
    /// record): the edit's holders that Posted refers to pass to the stored record, the
    /// holders OldStored referred to and Posted no longer does are released, and so are
    /// the edit's unused holders.
    void commitEditBlobs(const char* Posted, const char* OldStored) noexcept;
    /// Whether Field's slot holds a blob holder reference.
    [[nodiscard]] static bool isBlobSlot(const host::TField* Field) noexcept;
    /// Stores what the open streams wrote into the record being posted.
    void flushBlobStreams();
    /// Detaches every open stream: their record is released.
    void detachBlobStreams() noexcept;

    // ---- fields (in declared order) -----------------------------------------------------
    std::vector<std::unique_ptr<TBTFetchField>> FFetchFields; // emptied by ClearFetchFields
    int32_t FRecordSize = 0;
    int32_t FRecordInfoOffset = 0;
    int32_t FDataSize = 0;
    std::vector<int32_t> FFieldOffsets =
        std::vector<int32_t>(1, 0); // one slot per column, and the calculated area
    std::string FSortFields;
    int32_t FCurRec = -1;
    host::TRecordBuffer FOldBuffer = nullptr;
    host::TRecordBuffer FReadBuffer = nullptr; // when set, what field access reads (applying)
    host::TRecordBuffer FFilterBuffer = nullptr;
    std::vector<host::TRecordBuffer> FRecords; // owned
    std::vector<host::TField*> FSortFieldList;
    bool FCalcFieldsInList = false;
    bool FDoBinaryLocate = false;
    bool FListSorted = false;
    bool FAutoSort = false;
    std::string FSortedFieldNames;
    TBTCompareOptions FSortOptions;
    TBTCompareOptions FLocateOptions;
    bool FCursorOpen = false;

    TRecordStore FStore;
    std::vector<std::unique_ptr<TBTBlob>> FEditBlobs; // holders written during the edit in progress
    std::vector<TBTBlobStream*> FBlobStreams; // open streams on the current record; not owned

    int32_t FFirstRecordId = 1;                 // identity of the first record of this open
    int32_t FNextRecordId = 1;                  // identity of the next record stored
    mutable std::vector<int32_t> FPositionOfId; // index of identity - FFirstRecordId; -1 none
    mutable bool FPositionsStale = true;

    std::vector<int32_t> FVisibleRows;   // indices of the shown records, in list order
    std::vector<int32_t> FVisibleNumber; // per stored record: shown records up to it, itself too
    bool FVisibleStale = true;

    std::vector<TPendingChange> FPending;                   // in the order made
    std::unordered_map<int32_t, std::size_t> FPendingIndex; // identity -> index in FPending
    std::vector<TParkedRows> FParked;                       // in the order parked
};

} // namespace tovrin
