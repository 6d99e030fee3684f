// The byte streams the image decoder reads from: an abstract stream and its memory form, which
// wraps a resource's locked bytes without owning them or holds a buffer of its own.
#pragma once

#include <cstddef>
#include <cstdint>

class CxFile {
public:
    virtual ~CxFile() = default;
    virtual bool Close() = 0;
    // Copies up to size x count bytes and answers the whole elements read.
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    // origin: 0 start, 1 current position, 2 end. A position before the start clamps to 0.
    virtual bool Seek(int64_t offset, int origin) = 0;
    virtual int64_t Tell() = 0;
    virtual int64_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual bool Error() = 0;
    virtual bool PutC(uint8_t c) = 0;
    // -1 at the end.
    virtual int GetC() = 0;
};

class CxMemFile final : public CxFile {
public:
    // An empty stream that owns what it writes.
    CxMemFile() = default;
    // A stream over bytes it neither owns nor frees (a resource's locked bytes).
    CxMemFile(const uint8_t* bytes, size_t size);
    CxMemFile(const CxMemFile&) = delete;
    CxMemFile& operator=(const CxMemFile&) = delete;
    ~CxMemFile() override;

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override { return static_cast<int64_t>(position_); }
    int64_t Size() override { return static_cast<int64_t>(size_); }
    bool Flush() override { return buffer_ != nullptr; }
    bool Eof() override { return position_ >= size_; }
    bool Error() override { return position_ > size_; }
    bool PutC(uint8_t c) override;
    int GetC() override;

    const uint8_t* Data() const { return buffer_; }

private:
    // Makes the buffer an owned one of at least `needed` bytes (rounded up to the next 4096).
    bool Reserve(size_t needed);

    uint8_t* buffer_ = nullptr;
    size_t size_ = 0;
    bool ownsBuffer_ = false;
    size_t position_ = 0;
    size_t capacity_ = 0;
};
