// TStream, the framework's abstract byte stream, and TMemoryStream, a stream held in one
// growable memory block; TStringStream keeps its bytes in a std::string.
#pragma once

#include <cstdint>
#include <string>

#include "tovrin5/host/Persistent.h"

namespace tovrin::host {

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

/// An abstract stream of bytes with a position.
class TStream : public TObject {
public:
    ~TStream() override;
    [[nodiscard]] std::string ClassName() const override { return "TStream"; }

    /// Reads up to Count bytes; returns the number read (0 at the end).
    virtual int64_t Read(void* Buffer, int64_t Count) = 0;
    /// Writes Count bytes; returns the number written.
    virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
    /// Moves the position; returns the new position.
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

    [[nodiscard]] int64_t Position();
    void SetPosition(int64_t Pos);
    [[nodiscard]] virtual int64_t Size();
    virtual void SetSize(int64_t NewSize);

    /// Reads exactly Count bytes or raises EReadError "Stream read error".
    void ReadBuffer(void* Buffer, int64_t Count);
    /// Writes exactly Count bytes or raises EWriteError "Stream write error".
    void WriteBuffer(const void* Buffer, int64_t Count);
    /// Copies Count bytes from Source (the whole of it from its start when Count is 0).
    int64_t CopyFrom(TStream* Source, int64_t Count);
};

/// A stream in one contiguous block. Capacity grows through the virtual Realloc.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;
    [[nodiscard]] std::string ClassName() const override { return "TMemoryStream"; }

    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    [[nodiscard]] int64_t Size() override { return m_size; }
    /// Sets the size (growing the block as needed); a position beyond it moves to the end.
    void SetSize(int64_t NewSize) override;

    /// The block (nullptr when empty).
    [[nodiscard]] void* Memory() const noexcept { return m_memory; }
    /// Empties the stream and frees the block.
    void Clear();
    /// Replaces the content with the whole of Stream (from its start).
    void LoadFromStream(TStream* Stream);
    /// Writes the whole content to Stream at its position.
    void SaveToStream(TStream* Stream);
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);
    [[nodiscard]] int64_t Capacity() const noexcept { return m_capacity; }

protected:
    /// Sets the block to NewCapacity bytes (0 frees it), rounding NewCapacity up as it
    /// likes; returns the block. Raises EStreamError "Out of memory while expanding memory
    /// stream" on failure.
    virtual void* Realloc(int64_t& NewCapacity);
    void SetCapacity(int64_t NewCapacity);
    /// For descendants that manage the block themselves.
    void SetPointer(void* Ptr, int64_t Size);

private:
    void* m_memory = nullptr;
    int64_t m_size = 0;
    int64_t m_position = 0;
    int64_t m_capacity = 0;
};

/// A stream over a std::string.
class TStringStream : public TStream {
public:
    explicit TStringStream(std::string data = {}) : m_data(std::move(data)) {}
    [[nodiscard]] std::string ClassName() const override { return "TStringStream"; }
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    [[nodiscard]] int64_t Size() override { return static_cast<int64_t>(m_data.size()); }
    void SetSize(int64_t NewSize) override;
    [[nodiscard]] const std::string& DataString() const noexcept { return m_data; }

private:
    std::string m_data;
    int64_t m_position = 0;
};

} // namespace tovrin::host
