#include "HostMemory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace qvhost {
namespace {
constexpr int16_t kMemoryFull = -108;
constexpr int16_t kBadParameter = -50;
}  // namespace

HandleStore::~HandleStore() {
    for (auto& [handle, block] : blocks_) std::free(block->data);
}

Handle HandleStore::New(int64_t size) {
    if (size < 0 || size > INT32_MAX) return nullptr;
    // Data of size 0 still has an address, so a locked empty handle is not mistaken for a failure.
    char* data = static_cast<char*>(std::calloc(static_cast<size_t>(std::max<int64_t>(size, 1)), 1));
    if (!data) return nullptr;
    auto block = std::make_unique<Block>();
    block->data = data;
    block->size = size;
    const Handle h = &block->data;
    blocks_.emplace(h, std::move(block));
    return h;
}

Handle HandleStore::NewWithData(std::span<const uint8_t> data) {
    const Handle h = New(static_cast<int64_t>(data.size()));
    if (h && !data.empty()) std::memcpy(*h, data.data(), data.size());
    return h;
}

void HandleStore::Dispose(Handle h) {
    const auto found = blocks_.find(h);
    if (found == blocks_.end()) return;
    std::free(found->second->data);
    blocks_.erase(found);
}

bool HandleStore::Owns(Handle h) const { return blocks_.count(h) != 0; }

int64_t HandleStore::Size(Handle h) const {
    const auto found = blocks_.find(h);
    return found == blocks_.end() ? -1 : found->second->size;
}

int16_t HandleStore::SetSize(Handle h, int64_t size) {
    const auto found = blocks_.find(h);
    if (found == blocks_.end() || size < 0) return kBadParameter;
    if (size > INT32_MAX) return kMemoryFull;
    Block& block = *found->second;
    if (block.lockCount > 0 && size > block.size) return kMemoryFull;  // a locked block cannot move
    char* data = static_cast<char*>(std::calloc(static_cast<size_t>(std::max<int64_t>(size, 1)), 1));
    if (!data) return kMemoryFull;
    std::memcpy(data, block.data, static_cast<size_t>(std::min(size, block.size)));
    if (block.lockCount > 0) {
        // Shrinking a locked block keeps its address.
        std::free(data);
    } else {
        std::free(block.data);
        block.data = data;
    }
    block.size = size;
    return 0;
}

char* HandleStore::Lock(Handle h) {
    const auto found = blocks_.find(h);
    if (found == blocks_.end()) return nullptr;
    ++found->second->lockCount;
    return found->second->data;
}

void HandleStore::Unlock(Handle h) {
    const auto found = blocks_.find(h);
    if (found != blocks_.end() && found->second->lockCount > 0) --found->second->lockCount;
}

bool HandleStore::IsLocked(Handle h) const {
    const auto found = blocks_.find(h);
    return found != blocks_.end() && found->second->lockCount > 0;
}

std::vector<uint8_t> HandleStore::Bytes(Handle h) const {
    const auto found = blocks_.find(h);
    if (found == blocks_.end()) return {};
    const Block& block = *found->second;
    return std::vector<uint8_t>(block.data, block.data + block.size);
}

int16_t BufferStore::Allocate(int64_t size, BufferID* id) {
    *id = nullptr;
    if (size < 0 || size > Space()) return kMemoryFull;
    Buffer buffer;
    buffer.data.reset(new (std::nothrow) char[static_cast<size_t>(std::max<int64_t>(size, 1))]);
    if (!buffer.data) return kMemoryFull;
    buffer.size = size;
    *id = reinterpret_cast<BufferID>(buffer.data.get());
    buffers_.emplace(*id, std::move(buffer));
    held_ += size;
    peak_ = std::max(peak_, held_);
    return 0;
}

char* BufferStore::Lock(BufferID id) {
    const auto found = buffers_.find(id);
    return found == buffers_.end() ? nullptr : found->second.data.get();
}

void BufferStore::Unlock(BufferID) {}

void BufferStore::Free(BufferID id) {
    const auto found = buffers_.find(id);
    if (found == buffers_.end()) return;
    held_ -= found->second.size;
    buffers_.erase(found);
}

int64_t BufferStore::SizeOf(BufferID id) const {
    const auto found = buffers_.find(id);
    return found == buffers_.end() ? -1 : found->second.size;
}

}  // namespace qvhost
