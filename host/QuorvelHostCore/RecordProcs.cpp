// The filter record's plain procedures: abort, progress, buffers, handles, host properties and
// document resources.
#include <algorithm>

#include "HostContext.h"

namespace qvhost {
namespace {

constexpr int16_t kBadParameter = -50;

HostContext& Context() { return *ActiveContext(); }

// ---- Abort and progress

Boolean8 TestAbort() {
    HostContext& c = Context();
    const bool abort = c.options.abortAfter >= 0 && c.statistics.progressCalls >= c.options.abortAfter;
    if (abort && !c.statistics.aborted)
        c.log.Format("  abortProc answers true after %lld progress calls", static_cast<long long>(c.statistics.progressCalls));
    c.statistics.aborted = c.statistics.aborted || abort;
    return abort ? 1 : 0;
}

void UpdateProgress(int32_t done, int32_t total) {
    HostContext& c = Context();
    HostStatistics& s = c.statistics;
    ++s.progressCalls;
    // The first calls and every completion are logged; the rest only counted.
    if (s.progressCalls <= 3 || (done == total && s.lastProgressDone != done))
        c.log.Format("  progress %d/%d (call %lld)", done, total, static_cast<long long>(s.progressCalls));
    s.lastProgressDone = done;
    s.lastProgressTotal = total;
}

// ---- Buffers

OSErr16 AllocateBuffer(int32_t size, BufferID* id) {
    if (!id) return kBadParameter;
    HostContext& c = Context();
    const int16_t error = c.buffers.Allocate(size, id);
    c.statistics.peakBufferBytes = c.buffers.PeakHeld();
    if (error) c.log.Format("  buffer of %d bytes refused (%lld free)", size, static_cast<long long>(c.buffers.Space()));
    return error;
}
char* LockBuffer(BufferID id, Boolean8) { return Context().buffers.Lock(id); }
void UnlockBuffer(BufferID id) { Context().buffers.Unlock(id); }
void FreeBuffer(BufferID id) { Context().buffers.Free(id); }
int32_t BufferSpace() {
    return static_cast<int32_t>(std::clamp<int64_t>(Context().buffers.Space(), 0, INT32_MAX));
}

// ---- Handles

Handle NewHandle(int32_t size) { return Context().handles.New(size); }
void DisposeHandle(Handle h) { Context().handles.Dispose(h); }
int32_t GetHandleSize(Handle h) { return static_cast<int32_t>(std::max<int64_t>(Context().handles.Size(h), 0)); }
OSErr16 SetHandleSize(Handle h, int32_t size) { return Context().handles.SetSize(h, size); }
char* LockHandle(Handle h, Boolean8) { return Context().handles.Lock(h); }
void UnlockHandle(Handle h) { Context().handles.Unlock(h); }
void RecoverSpace(int32_t) {}

// ---- Properties

OSErr16 GetProperty(uint32_t signature, uint32_t key, int32_t, intptr_t* simple, Handle* complex) {
    HostContext& c = Context();
    if (signature != '8BIM') return kBadParameter;
    switch (key) {
    case 'vers':
        if (!simple) return kBadParameter;
        *simple = static_cast<intptr_t>(c.options.hostVersion);
        return 0;
    case 'titl': {
        if (!complex) return kBadParameter;
        const std::string& path = c.options.inputPath;
        const std::string title = path.empty() ? "Untitled" : path.substr(path.find_last_of("\\/") + 1);
        *complex = c.handles.NewWithData({reinterpret_cast<const uint8_t*>(title.data()), title.size()});
        return *complex ? 0 : -108;
    }
    default:
        return kBadParameter;
    }
}

OSErr16 SetProperty(uint32_t, uint32_t, int32_t, intptr_t, Handle) { return kBadParameter; }

// ---- Resources of the document

int16_t CountResources(uint32_t type) {
    const auto found = Context().resources.find(type);
    return found == Context().resources.end() ? 0 : static_cast<int16_t>(found->second.size());
}

std::vector<uint8_t>* ResourceAt(uint32_t type, int16_t index) {
    const auto found = Context().resources.find(type);
    if (found == Context().resources.end() || index < 1 || index > static_cast<int>(found->second.size()))
        return nullptr;
    return &found->second[static_cast<size_t>(index - 1)];
}

// The caller owns the handle it gets.
Handle GetResource(uint32_t type, int16_t index) {
    const std::vector<uint8_t>* data = ResourceAt(type, index);
    return data ? Context().handles.NewWithData(*data) : nullptr;
}

void RemoveResource(uint32_t type, int16_t index) {
    if (!ResourceAt(type, index)) return;
    auto& list = Context().resources[type];
    list.erase(list.begin() + (index - 1));
}

OSErr16 AddResource(uint32_t type, Handle data) {
    HostContext& c = Context();
    if (!c.handles.Owns(data)) return kBadParameter;
    c.resources[type].push_back(c.handles.Bytes(data));
    return 0;
}

}  // namespace

void InstallMemoryProcs(HostContext& c) {
    c.bufferProcs = {2, 5, AllocateBuffer, LockBuffer, UnlockBuffer, FreeBuffer, BufferSpace};
    c.handleProcs = {1, 8, NewHandle, DisposeHandle, GetHandleSize, SetHandleSize, LockHandle, UnlockHandle,
                     RecoverSpace, DisposeHandle};
    c.record.bufferProcs = c.options.noBufferProcs ? nullptr : &c.bufferProcs;
    c.record.handleProcs = c.options.noHandleProcs ? nullptr : &c.handleProcs;
    c.record.maxSpace = static_cast<int32_t>(std::clamp<int64_t>(c.options.budget, 0, INT32_MAX));
}

void InstallRecordProcs(HostContext& c) {
    c.record.abortProc = TestAbort;
    c.record.progressProc = UpdateProgress;
    c.propertyProcs = {1, 2, GetProperty, SetProperty};
    c.record.propertyProcs = &c.propertyProcs;
    c.resourceProcs = {1, 4, CountResources, GetResource, RemoveResource, AddResource};
    c.record.resourceProcs = &c.resourceProcs;
}

}  // namespace qvhost
