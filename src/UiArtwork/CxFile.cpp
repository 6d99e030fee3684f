#include "CxFile.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr size_t kGrowthStep = 4096;
}

CxMemFile::CxMemFile(const uint8_t* bytes, size_t size)
    : buffer_(const_cast<uint8_t*>(bytes)), size_(bytes ? size : 0), capacity_(bytes ? size : 0) {}

CxMemFile::~CxMemFile() { Close(); }

bool CxMemFile::Close() {
    if (ownsBuffer_) std::free(buffer_);
    buffer_ = nullptr;
    ownsBuffer_ = false;
    size_ = position_ = capacity_ = 0;
    return true;
}

size_t CxMemFile::Read(void* buffer, size_t size, size_t count) {
    if (!buffer || !buffer_ || size == 0 || count == 0 || position_ >= size_) return 0;
    const size_t left = size_ - position_;
    // size x count may overflow; anything beyond what is left reads as what is left.
    const size_t wanted = count > std::numeric_limits<size_t>::max() / size ? left : size * count;
    const size_t taken = wanted < left ? wanted : left;
    std::memcpy(buffer, buffer_ + position_, taken);
    position_ += taken;
    return taken / size;
}

bool CxMemFile::Reserve(size_t needed) {
    if (ownsBuffer_ && needed <= capacity_) return true;
    if (needed > std::numeric_limits<size_t>::max() - kGrowthStep) return false;
    const size_t capacity = (needed / kGrowthStep + 1) * kGrowthStep;
    uint8_t* grown = static_cast<uint8_t*>(ownsBuffer_ ? std::realloc(buffer_, capacity) : std::malloc(capacity));
    if (!grown) return false;
    // A borrowed buffer is copied: the stream never writes into bytes it does not own.
    if (!ownsBuffer_ && buffer_ && size_) std::memcpy(grown, buffer_, size_);
    buffer_ = grown;
    capacity_ = capacity;
    ownsBuffer_ = true;
    return true;
}

size_t CxMemFile::Write(const void* buffer, size_t size, size_t count) {
    if (!buffer || size == 0 || count == 0 || count > std::numeric_limits<size_t>::max() / size) return 0;
    const size_t bytes = size * count;
    if (position_ > std::numeric_limits<size_t>::max() - bytes) return 0;
    const size_t end = position_ + bytes;
    if (!Reserve(end)) return 0;
    // A seek past the end leaves a gap: it reads as zeros, not as old heap bytes.
    if (position_ > size_) std::memset(buffer_ + size_, 0, position_ - size_);
    std::memcpy(buffer_ + position_, buffer, bytes);
    position_ = end;
    if (end > size_) size_ = end;
    return count;
}

bool CxMemFile::Seek(int64_t offset, int origin) {
    int64_t base = 0;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = static_cast<int64_t>(position_); break;
    case 2: base = static_cast<int64_t>(size_); break;
    default: return false;
    }
    if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset)) return false;
    const int64_t target = base + offset;
    position_ = target < 0 ? 0 : static_cast<size_t>(target);
    return true;
}

bool CxMemFile::PutC(uint8_t c) { return Write(&c, 1, 1) == 1; }

int CxMemFile::GetC() {
    if (!buffer_ || position_ >= size_) return -1;
    return buffer_[position_++];
}
