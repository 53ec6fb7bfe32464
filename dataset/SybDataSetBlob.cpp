// Blob values: the TBTBlob holders that records refer to, the TBTBlobStream through
// which the host reads and writes them, and the holders that belong to an edit until it
// is posted or cancelled.
#include <algorithm>
#include <cstring>
#include <limits>

#include "tovrin5/dataset/SybDataSet.h"
#include "tovrin5/host/DbConsts.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Runtime.h"

namespace tovrin {

using namespace host;

// ---- TBTBlob --------------------------------------------------------------------------------

TBTBlob::~TBTBlob() = default;

void TBTBlob::LoadFromStream(TMemoryStream* Stream) {
    const int64_t size = Stream->Size();
    if (size > std::numeric_limits<int32_t>::max())
        throw EDatabaseError("Blob value larger than 2 GiB");
    std::string value(static_cast<std::size_t>(size), '\0');
    Stream->Seek(0, soBeginning);
    if (size > 0)
        Stream->ReadBuffer(value.data(), size);
    FValue = std::move(value);
    FSize = static_cast<int32_t>(size);
}

void TBTBlob::SaveToStream(TMemoryStream* Stream) {
    Stream->SetSize(FSize);
    Stream->SetPosition(0);
    if (FSize > 0)
        Stream->Write(FValue.data(), FSize);
    Stream->SetPosition(0);
}

void TBTBlob::SetValue(std::string Value) {
    if (Value.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()))
        throw EDatabaseError("Blob value larger than 2 GiB");
    FSize = static_cast<int32_t>(Value.size());
    FValue = std::move(Value);
}

// ---- TBTBlobStream --------------------------------------------------------------------------

TBTBlobStream::TBTBlobStream(TBlobField* Field, TBlobStreamMode Mode)
    : FField(Field), FDataSet(dynamic_cast<TSybDataSet*>(Field ? Field->DataSet() : nullptr)),
      FMode(Mode) {
    if (!FDataSet)
        throw EInvalidCast("Invalid class typecast");
    FFieldData = FDataSet->GetFieldPointer(FDataSet->GetActiveRecordBuffer(), Field);
    if (!FFieldData)
        return;
    std::memcpy(&FBlob, FFieldData + 1, sizeof FBlob);
    if (Mode != bmRead) {
        // Checked before any holder exists, so a refused stream leaves nothing behind.
        if (Field->ReadOnly())
            DatabaseErrorFmt(dbconsts::SFieldReadOnly, {Field->GetDisplayName()}, FDataSet);
        if (FDataSet->State() != dsEdit && FDataSet->State() != dsInsert)
            DatabaseError(dbconsts::SNotEditing, FDataSet);
    }
    if (Mode == bmWrite)
        Truncate();
    else
        ReadBlobData();
    FDataSet->FBlobStreams.push_back(this);
    FRegistered = true;
}

TBTBlobStream::~TBTBlobStream() {
    if (FDetached)
        return;
    if (FRegistered) {
        auto& open = FDataSet->FBlobStreams;
        open.erase(std::remove(open.begin(), open.end(), this), open.end());
    }
    if (FModified) {
        try {
            WriteBlobData();
            FField->SetModified(true);
            FDataSet->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(FField));
        } catch (...) {
            Application.HandleException(this);
        }
    }
}

void TBTBlobStream::Detach() noexcept {
    FDetached = true;
    FRegistered = false;
    FModified = false;
    FBlob = nullptr;
    FFieldData = nullptr;
}

void TBTBlobStream::checkAttached() const {
    if (FDetached)
        DatabaseError("Blob stream of a released record: open a new stream on the current record");
}

void TBTBlobStream::SetSize(int64_t NewSize) {
    if (!FLoading)
        checkAttached();
    TMemoryStream::SetSize(NewSize);
    if (FMode != bmRead && !FLoading)
        FModified = true;
}

int64_t TBTBlobStream::Write(const void* Buffer, int64_t Count) {
    if (!FLoading)
        checkAttached();
    const int64_t written = TMemoryStream::Write(Buffer, Count);
    // A read-write stream stores what the application writes, never its initial load.
    if (FMode == bmWrite || (FMode == bmReadWrite && !FLoading))
        FModified = true;
    return written;
}

void TBTBlobStream::Truncate() {
    checkAttached();
    Clear();
    FModified = true;
}

void TBTBlobStream::ReadBlobData() {
    if (!FBlob)
        return;
    FLoading = true;
    try {
        FBlob->SaveToStream(this);
    } catch (...) {
        FLoading = false;
        throw;
    }
    FLoading = false;
    SetPosition(0);
}

void TBTBlobStream::WriteBlobData() {
    if (!FFieldData)
        return;
    // The value goes into a holder of the edit: the stored record keeps its own holder
    // (and so its value) until Post puts the new one in its place.
    if (!FBlob || !FDataSet->isEditBlob(FBlob)) {
        FBlob = FDataSet->newEditBlob();
        std::memcpy(FFieldData + 1, &FBlob, sizeof FBlob);
    }
    FBlob->LoadFromStream(this);
    FFieldData[0] = Size() > 0 ? 1 : 0;
}

// ---- the dataset's side -----------------------------------------------------------------------

std::unique_ptr<TStream> TSybDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
    auto* blobField = dynamic_cast<TBlobField*>(Field);
    if (!blobField)
        throw EInvalidCast("Invalid class typecast");
    return std::make_unique<TBTBlobStream>(blobField, Mode);
}

void TSybDataSet::flushBlobStreams() {
    for (TBTBlobStream* stream : FBlobStreams) {
        if (!stream->FModified)
            continue;
        // The slot of the record being posted, wherever the host keeps that buffer now.
        stream->FFieldData = GetFieldPointer(GetActiveRecordBuffer(), stream->FField);
        stream->WriteBlobData();
        stream->FField->SetModified(true);
        stream->FModified = false;
    }
}

void TSybDataSet::detachBlobStreams() noexcept {
    for (TBTBlobStream* stream : FBlobStreams)
        stream->Detach();
    FBlobStreams.clear();
}

TBTBlob* TSybDataSet::newEditBlob() {
    return FEditBlobs.emplace_back(std::make_unique<TBTBlob>()).get();
}

bool TSybDataSet::isEditBlob(const TBTBlob* Blob) const noexcept {
    return Blob && std::any_of(FEditBlobs.begin(), FEditBlobs.end(),
                               [Blob](const auto& held) { return held.get() == Blob; });
}

void TSybDataSet::releaseEditBlobs() noexcept {
    FEditBlobs.clear();
}

void TSybDataSet::commitEditBlobs(const char* Posted, const char* OldStored) noexcept {
    auto commitSlot = [&](int32_t offset) {
        TBTBlob* now;
        std::memcpy(&now, Posted + offset + 1, sizeof now);
        if (OldStored) {
            TBTBlob* before;
            std::memcpy(&before, OldStored + offset + 1, sizeof before);
            if (before && before != now && !isEditBlob(before))
                delete before;
        }
        auto it = std::find_if(FEditBlobs.begin(), FEditBlobs.end(),
                               [now](const auto& held) { return held.get() == now; });
        if (now && it != FEditBlobs.end()) {
            (void)it->release(); // the stored record owns it now
            FEditBlobs.erase(it);
        }
    };
    for (std::size_t i = 0; i < FFetchFields.size(); ++i) {
        const TFieldType t = FFetchFields[i]->GetOstrelDataType();
        if (t >= ftBlob && t <= ftTypedBinary)
            commitSlot(FFieldOffsets[i + 1]);
    }
    for (TField* f : Fields()) {
        if (f->FieldNo() > 0 || !isBlobSlot(f))
            continue;
        if (f->FieldKind() != fkCalculated && f->FieldKind() != fkLookup)
            continue;
        commitSlot(FFieldOffsets[0] + f->Offset());
    }
    releaseEditBlobs();
}

} // namespace tovrin
