// TStream, TMemoryStream and TStringStream.
#include "tovrin5/host/Streams.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "tovrin5/host/Exceptions.h"

namespace tovrin::host {

namespace {

// Where a seek of an in-memory stream lands; raises EStreamError for a place before the start.
int64_t seekTarget(int64_t offset, TSeekOrigin origin, int64_t position, int64_t size) {
    int64_t base = origin == soBeginning ? 0 : (origin == soCurrent ? position : size);
    int64_t pos = base + offset;
    if (pos < 0)
        throw EStreamError("Invalid stream position " + std::to_string(pos));
    return pos;
}

void checkSize(int64_t size) {
    if (size < 0)
        throw EStreamError("Invalid stream size " + std::to_string(size));
}

} // namespace

TStream::~TStream() = default;

int64_t TStream::Position() {
    return Seek(0, soCurrent);
}

void TStream::SetPosition(int64_t Pos) {
    Seek(Pos, soBeginning);
}

int64_t TStream::Size() {
    int64_t pos = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t /*NewSize*/) {}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    if (Count < 0 || (Count != 0 && Read(Buffer, Count) != Count))
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    if (Count < 0 || (Count != 0 && Write(Buffer, Count) != Count))
        throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
    if (Count == 0) {
        Source->SetPosition(0);
        Count = Source->Size();
    }
    int64_t result = Count;
    constexpr int64_t kChunk = 64 * 1024;
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(std::min(Count, kChunk)) + 1]);
    while (Count > 0) {
        int64_t n = std::min(Count, kChunk);
        Source->ReadBuffer(buffer.get(), n);
        WriteBuffer(buffer.get(), n);
        Count -= n;
    }
    return result;
}

TMemoryStream::~TMemoryStream() {
    // The base destructor cannot call our Realloc override any more; free directly.
    std::free(m_memory);
    m_memory = nullptr;
}

void* TMemoryStream::Realloc(int64_t& NewCapacity) {
    constexpr int64_t kDelta = 8192;
    if (NewCapacity > 0 && NewCapacity != m_size)
        NewCapacity = (NewCapacity + (kDelta - 1)) & ~(kDelta - 1);
    if (NewCapacity == m_capacity)
        return m_memory;
    if (NewCapacity == 0) {
        std::free(m_memory);
        return nullptr;
    }
    if (NewCapacity < 0 ||
        static_cast<uint64_t>(NewCapacity) > std::numeric_limits<size_t>::max() / 2)
        throw EStreamError("Out of memory while expanding memory stream");
    void* p = std::realloc(m_memory, static_cast<size_t>(NewCapacity));
    if (!p)
        throw EStreamError("Out of memory while expanding memory stream");
    return p;
}

void TMemoryStream::SetCapacity(int64_t NewCapacity) {
    void* p = Realloc(NewCapacity);
    m_memory = p;
    m_capacity = NewCapacity;
}

void TMemoryStream::SetPointer(void* Ptr, int64_t Size) {
    m_memory = Ptr;
    m_size = Size;
}

int64_t TMemoryStream::Read(void* Buffer, int64_t Count) {
    if (Count <= 0 || m_position >= m_size)
        return 0;
    int64_t n = std::min(Count, m_size - m_position);
    std::memcpy(Buffer, static_cast<char*>(m_memory) + m_position, static_cast<size_t>(n));
    m_position += n;
    return n;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0 || m_position < 0)
        return 0;
    int64_t end = m_position + Count;
    if (end > m_size) {
        if (end > m_capacity)
            SetCapacity(end);
        // A position beyond the end leaves a gap: fill it with zeros, not stale bytes.
        if (m_position > m_size)
            std::memset(static_cast<char*>(m_memory) + m_size, 0,
                        static_cast<size_t>(m_position - m_size));
        m_size = end;
    }
    std::memmove(static_cast<char*>(m_memory) + m_position, Buffer, static_cast<size_t>(Count));
    m_position = end;
    return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    m_position = seekTarget(Offset, Origin, m_position, m_size);
    return m_position;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    checkSize(NewSize);
    int64_t oldPosition = m_position;
    int64_t oldSize = m_size;
    SetCapacity(NewSize);
    if (NewSize > oldSize)
        std::memset(static_cast<char*>(m_memory) + oldSize, 0,
                    static_cast<size_t>(NewSize - oldSize));
    m_size = NewSize;
    if (oldPosition > NewSize)
        m_position = NewSize;
}

void TMemoryStream::Clear() {
    SetCapacity(0);
    m_size = 0;
    m_position = 0;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
    Stream->SetPosition(0);
    int64_t count = Stream->Size();
    SetSize(count);
    if (count != 0)
        Stream->ReadBuffer(m_memory, count);
    m_position = 0;
}

void TMemoryStream::SaveToStream(TStream* Stream) {
    if (m_size != 0)
        Stream->WriteBuffer(m_memory, m_size);
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
    std::unique_ptr<FILE, decltype(&std::fclose)> f(std::fopen(FileName.c_str(), "rb"),
                                                    &std::fclose);
    if (!f)
        throw EStreamError("Cannot open file \"" + FileName + "\"");
    Clear();
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0)
        WriteBuffer(buffer, static_cast<int64_t>(n));
    if (std::ferror(f.get()))
        throw EReadError("Stream read error");
    m_position = 0;
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
    std::unique_ptr<FILE, decltype(&std::fclose)> f(std::fopen(FileName.c_str(), "wb"),
                                                    &std::fclose);
    if (!f)
        throw EStreamError("Cannot create file \"" + FileName + "\"");
    if (m_size != 0 && std::fwrite(m_memory, 1, static_cast<size_t>(m_size), f.get()) !=
                           static_cast<size_t>(m_size))
        throw EWriteError("Stream write error");
}

int64_t TStringStream::Read(void* Buffer, int64_t Count) {
    auto size = static_cast<int64_t>(m_data.size());
    if (Count <= 0 || m_position >= size)
        return 0;
    int64_t n = std::min(Count, size - m_position);
    std::memcpy(Buffer, m_data.data() + m_position, static_cast<size_t>(n));
    m_position += n;
    return n;
}

int64_t TStringStream::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0)
        return 0;
    auto end = static_cast<size_t>(m_position + Count);
    if (end > m_data.size())
        m_data.resize(end);
    std::memcpy(m_data.data() + m_position, Buffer, static_cast<size_t>(Count));
    m_position += Count;
    return Count;
}

int64_t TStringStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    m_position = seekTarget(Offset, Origin, m_position, static_cast<int64_t>(m_data.size()));
    return m_position;
}

void TStringStream::SetSize(int64_t NewSize) {
    checkSize(NewSize);
    m_data.resize(static_cast<size_t>(NewSize));
    if (m_position > NewSize)
        m_position = NewSize;
}

} // namespace tovrin::host
