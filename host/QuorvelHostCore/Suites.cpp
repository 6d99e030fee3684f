// The basic suite and the suites a plug-in acquires through it: descriptor, descriptor list,
// handle, property and buffer, each table in the host's order. Procedures of a table that this
// host does not serve answer "unimplemented"; any other suite is answered "suite not found", and
// so is the channel-ports suite, which no host offers (channel ports come with the record).
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "HostContext.h"

namespace qvhost {
namespace {

HostContext& Context() { return *ActiveContext(); }

// ---- Descriptors

SPErr InjectedError() { return Context().options.descriptorError.value_or(kSPNoError); }

Descriptor* Find(DescriptorRef ref) {
    auto& all = Context().descriptors;
    const auto found = all.find(ref);
    return found == all.end() ? nullptr : found->second.get();
}

DescriptorList* Find(DescriptorListRef ref) {
    auto& all = Context().lists;
    const auto found = all.find(ref);
    return found == all.end() ? nullptr : found->second.get();
}

DescriptorRef Register(std::unique_ptr<Descriptor> descriptor) {
    const auto ref = reinterpret_cast<DescriptorRef>(descriptor.get());
    Context().descriptors.emplace(ref, std::move(descriptor));
    return ref;
}

DescriptorListRef Register(std::unique_ptr<DescriptorList> list) {
    const auto ref = reinterpret_cast<DescriptorListRef>(list.get());
    Context().lists.emplace(ref, std::move(list));
    return ref;
}

// Runs body on the descriptor, after the injected error and the reference check.
template <typename Body>
SPErr WithDescriptor(DescriptorRef ref, Body body) {
    if (const SPErr injected = InjectedError()) return injected;
    Descriptor* descriptor = Find(ref);
    return descriptor ? body(*descriptor) : kSPBadParameterError;
}

template <typename T, typename Target>
SPErr GetAs(const DescriptorValue* value, Target* out) {
    if (!value || !out) return kSPBadParameterError;
    const T* typed = std::get_if<T>(&value->value);
    if (!typed) return kSPBadParameterError;
    *out = static_cast<Target>(*typed);
    return kSPNoError;
}

template <typename T>
SPErr Put(DescriptorRef ref, DescriptorKey key, T value) {
    return WithDescriptor(ref, [&](Descriptor& d) {
        d.Put(key, DescriptorValue{std::move(value)});
        return kSPNoError;
    });
}

template <typename T, typename Target>
SPErr Get(DescriptorRef ref, DescriptorKey key, Target* out) {
    return WithDescriptor(ref, [&](Descriptor& d) { return GetAs<T>(d.Find(key), out); });
}

SPErr CopyString(const DescriptorValue* value, char* out, uint32_t maxLength) {
    const auto* text = value ? std::get_if<std::string>(&value->value) : nullptr;
    if (!text || !out || maxLength == 0) return kSPBadParameterError;
    const size_t length = std::min<size_t>(text->size(), maxLength - 1);
    std::memcpy(out, text->data(), length);
    out[length] = '\0';
    return kSPNoError;
}

SPErr DataLength(const DescriptorValue* value, int32_t* length) {
    const auto* blob = value ? std::get_if<DescriptorBlob>(&value->value) : nullptr;
    if (!blob || !length) return kSPBadParameterError;
    *length = static_cast<int32_t>(blob->size());
    return kSPNoError;
}

SPErr CopyData(const DescriptorValue* value, void* out) {
    const auto* blob = value ? std::get_if<DescriptorBlob>(&value->value) : nullptr;
    if (!blob || !out) return kSPBadParameterError;
    std::memcpy(out, blob->data(), blob->size());
    return kSPNoError;
}

DescriptorBlob Blob(int32_t length, const void* data) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    return length > 0 && bytes ? DescriptorBlob(bytes, bytes + length) : DescriptorBlob();
}

SPErr MakeDescriptor(DescriptorRef* out) {
    if (const SPErr injected = InjectedError()) return injected;
    if (!out) return kSPBadParameterError;
    *out = Register(std::make_unique<Descriptor>());
    return kSPNoError;
}

SPErr FreeDescriptor(DescriptorRef ref) {
    if (const SPErr injected = InjectedError()) return injected;
    return Context().descriptors.erase(ref) ? kSPNoError : kSPBadParameterError;
}

SPErr HandleToDescriptor(Handle flat, DescriptorRef* out) {
    if (const SPErr injected = InjectedError()) return injected;
    HostContext& c = Context();
    if (!out || !c.handles.Owns(flat)) return kSPBadParameterError;
    std::optional<Descriptor> read = Unflatten(c.handles.Bytes(flat));
    if (!read) {
        c.log.Line("  HandleToDescriptor: the handle holds no well-formed descriptor");
        return kSPBadParameterError;
    }
    *out = Register(std::make_unique<Descriptor>(std::move(*read)));
    return kSPNoError;
}

SPErr AsHandle(DescriptorRef ref, Handle* flat) {
    return WithDescriptor(ref, [&](Descriptor& d) {
        if (!flat) return kSPBadParameterError;
        *flat = Context().handles.NewWithData(Flatten(d));
        return *flat ? kSPNoError : kSPOutOfMemoryError;
    });
}

SPErr HasKey(DescriptorRef ref, DescriptorKey key, Boolean8* has) {
    return WithDescriptor(ref, [&](Descriptor& d) {
        if (!has) return kSPBadParameterError;
        *has = d.Find(key) ? 1 : 0;
        return kSPNoError;
    });
}

SPErr GetType(DescriptorRef ref, DescriptorKey key, DescriptorType* type) {
    return WithDescriptor(ref, [&](Descriptor& d) {
        const DescriptorValue* value = d.Find(key);
        if (!value || !type) return kSPBadParameterError;
        *type = value->Type();
        return kSPNoError;
    });
}

SPErr GetCount(DescriptorRef ref, uint32_t* count) {
    return WithDescriptor(ref, [&](Descriptor& d) {
        if (!count) return kSPBadParameterError;
        *count = static_cast<uint32_t>(d.Entries().size());
        return kSPNoError;
    });
}

SPErr PutInteger(DescriptorRef r, DescriptorKey k, int32_t v) { return Put(r, k, v); }
SPErr PutFloat(DescriptorRef r, DescriptorKey k, double v) { return Put(r, k, v); }
SPErr PutBoolean(DescriptorRef r, DescriptorKey k, Boolean8 v) { return Put(r, k, v != 0); }
SPErr PutString(DescriptorRef r, DescriptorKey k, const char* utf8) {
    return utf8 ? Put(r, k, std::string(utf8)) : kSPBadParameterError;
}
SPErr PutData(DescriptorRef r, DescriptorKey k, int32_t length, const void* data) {
    if (length < 0 || (length > 0 && !data)) return kSPBadParameterError;
    return Put(r, k, Blob(length, data));
}
SPErr PutList(DescriptorRef r, DescriptorKey k, DescriptorListRef list) {
    const DescriptorList* items = Find(list);
    return items ? Put(r, k, *items) : kSPBadParameterError;
}

SPErr GetInteger(DescriptorRef r, DescriptorKey k, int32_t* v) { return Get<int32_t>(r, k, v); }
SPErr GetFloat(DescriptorRef r, DescriptorKey k, double* v) { return Get<double>(r, k, v); }
SPErr GetBoolean(DescriptorRef r, DescriptorKey k, Boolean8* v) { return Get<bool>(r, k, v); }
SPErr GetString(DescriptorRef r, DescriptorKey k, char* utf8, uint32_t maxLength) {
    return WithDescriptor(r, [&](Descriptor& d) { return CopyString(d.Find(k), utf8, maxLength); });
}
SPErr GetStringLength(DescriptorRef r, DescriptorKey k, uint32_t* length) {
    return WithDescriptor(r, [&](Descriptor& d) {
        const DescriptorValue* value = d.Find(k);
        const auto* text = value ? std::get_if<std::string>(&value->value) : nullptr;
        if (!text || !length) return kSPBadParameterError;
        *length = static_cast<uint32_t>(text->size());
        return kSPNoError;
    });
}
SPErr GetDataLength(DescriptorRef r, DescriptorKey k, int32_t* length) {
    return WithDescriptor(r, [&](Descriptor& d) { return DataLength(d.Find(k), length); });
}
SPErr GetData(DescriptorRef r, DescriptorKey k, void* data) {
    return WithDescriptor(r, [&](Descriptor& d) { return CopyData(d.Find(k), data); });
}
SPErr GetList(DescriptorRef r, DescriptorKey k, DescriptorListRef* list) {
    return WithDescriptor(r, [&](Descriptor& d) {
        const DescriptorValue* value = d.Find(k);
        const auto* items = value ? std::get_if<DescriptorList>(&value->value) : nullptr;
        if (!items || !list) return kSPBadParameterError;
        *list = Register(std::make_unique<DescriptorList>(*items));
        return kSPNoError;
    });
}

// A slot of a table that this host does not serve.
template <typename... Arguments>
SPErr Unimplemented(Arguments...) {
    return kSPUnimplementedError;
}

const DescriptorSuite kDescriptorSuite = {
    .Make = MakeDescriptor,
    .Free = FreeDescriptor,
    .GetType = GetType,
    .GetKey = Unimplemented,
    .HasKey = HasKey,
    .GetCount = GetCount,
    .IsEqual = Unimplemented,
    .Erase = Unimplemented,
    .Clear = Unimplemented,
    .PutInteger = PutInteger,
    .PutFloat = PutFloat,
    .PutUnitFloat = Unimplemented,
    .PutString = PutString,
    .PutBoolean = PutBoolean,
    .PutList = PutList,
    .PutObject = Unimplemented,
    .PutGlobalObject = Unimplemented,
    .PutEnumerated = Unimplemented,
    .PutReference = Unimplemented,
    .PutClass = Unimplemented,
    .PutGlobalClass = Unimplemented,
    .PutAlias = Unimplemented,
    .GetInteger = GetInteger,
    .GetFloat = GetFloat,
    .GetUnitFloat = Unimplemented,
    .GetStringLength = GetStringLength,
    .GetString = GetString,
    .GetBoolean = GetBoolean,
    .GetList = GetList,
    .GetObject = Unimplemented,
    .GetGlobalObject = Unimplemented,
    .GetEnumerated = Unimplemented,
    .GetReference = Unimplemented,
    .GetClass = Unimplemented,
    .GetGlobalClass = Unimplemented,
    .GetAlias = Unimplemented,
    .HasKeys = Unimplemented,
    .PutIntegers = Unimplemented,
    .GetIntegers = Unimplemented,
    .AsHandle = AsHandle,
    .HandleToDescriptor = HandleToDescriptor,
    .PutZString = Unimplemented,
    .GetZString = Unimplemented,
    .PutData = PutData,
    .GetDataLength = GetDataLength,
    .GetData = GetData,
};

// ---- Descriptor lists

const DescriptorValue* ItemAt(DescriptorListRef ref, uint32_t index) {
    const DescriptorList* list = Find(ref);
    return list && index < list->size() ? &(*list)[index] : nullptr;
}

SPErr Append(DescriptorListRef ref, DescriptorValue value) {
    DescriptorList* list = Find(ref);
    if (!list) return kSPBadParameterError;
    list->push_back(std::move(value));
    return kSPNoError;
}

SPErr MakeList(DescriptorListRef* out) {
    if (!out) return kSPBadParameterError;
    *out = Register(std::make_unique<DescriptorList>());
    return kSPNoError;
}
SPErr FreeList(DescriptorListRef ref) { return Context().lists.erase(ref) ? kSPNoError : kSPBadParameterError; }
SPErr ListCount(DescriptorListRef ref, uint32_t* count) {
    const DescriptorList* list = Find(ref);
    if (!list || !count) return kSPBadParameterError;
    *count = static_cast<uint32_t>(list->size());
    return kSPNoError;
}
SPErr ListType(DescriptorListRef ref, uint32_t index, DescriptorType* type) {
    const DescriptorValue* item = ItemAt(ref, index);
    if (!item || !type) return kSPBadParameterError;
    *type = item->Type();
    return kSPNoError;
}
SPErr ListPutInteger(DescriptorListRef ref, int32_t v) { return Append(ref, DescriptorValue{v}); }
SPErr ListPutString(DescriptorListRef ref, const char* utf8) {
    return utf8 ? Append(ref, DescriptorValue{std::string(utf8)}) : kSPBadParameterError;
}
SPErr ListPutData(DescriptorListRef ref, int32_t length, const void* data) {
    if (length < 0 || (length > 0 && !data)) return kSPBadParameterError;
    return Append(ref, DescriptorValue{Blob(length, data)});
}
SPErr ListGetInteger(DescriptorListRef ref, uint32_t index, int32_t* v) { return GetAs<int32_t>(ItemAt(ref, index), v); }
SPErr ListGetString(DescriptorListRef ref, uint32_t index, char* utf8, uint32_t maxLength) {
    return CopyString(ItemAt(ref, index), utf8, maxLength);
}
SPErr ListGetDataLength(DescriptorListRef ref, uint32_t index, int32_t* length) {
    return DataLength(ItemAt(ref, index), length);
}
SPErr ListGetData(DescriptorListRef ref, uint32_t index, void* data) { return CopyData(ItemAt(ref, index), data); }

const DescriptorListSuite kListSuite = {
    .Make = MakeList,
    .Free = FreeList,
    .GetType = ListType,
    .GetCount = ListCount,
    .PutInteger = ListPutInteger,
    .PutFloat = Unimplemented,
    .PutUnitFloat = Unimplemented,
    .PutString = ListPutString,
    .PutBoolean = Unimplemented,
    .PutList = Unimplemented,
    .PutObject = Unimplemented,
    .PutGlobalObject = Unimplemented,
    .PutEnumerated = Unimplemented,
    .PutReference = Unimplemented,
    .PutClass = Unimplemented,
    .PutGlobalClass = Unimplemented,
    .PutAlias = Unimplemented,
    .GetInteger = ListGetInteger,
    .GetFloat = Unimplemented,
    .GetUnitFloat = Unimplemented,
    .GetStringLength = Unimplemented,
    .GetString = ListGetString,
    .GetBoolean = Unimplemented,
    .GetList = Unimplemented,
    .GetObject = Unimplemented,
    .GetGlobalObject = Unimplemented,
    .GetEnumerated = Unimplemented,
    .GetReference = Unimplemented,
    .GetClass = Unimplemented,
    .GetGlobalClass = Unimplemented,
    .GetAlias = Unimplemented,
    .PutIntegers = Unimplemented,
    .GetIntegers = Unimplemented,
    .PutData = ListPutData,
    .GetDataLength = ListGetDataLength,
    .GetData = ListGetData,
    .PutZString = Unimplemented,
    .GetZString = Unimplemented,
};

// ---- Handles, properties and buffers as suites

Handle SuiteNewHandle(int32_t size) { return Context().handles.New(size); }
void SuiteDisposeHandle(Handle h) { Context().handles.Dispose(h); }
void SuiteSetLock(Handle h, Boolean8 lock, char** address, Boolean8* oldLock) {
    HandleStore& handles = Context().handles;
    if (oldLock) *oldLock = handles.IsLocked(h) ? 1 : 0;
    char* data = lock ? handles.Lock(h) : (handles.Unlock(h), handles.Owns(h) ? *h : nullptr);
    if (address) *address = data;
}
int32_t SuiteGetSize(Handle h) { return static_cast<int32_t>(std::max<int64_t>(Context().handles.Size(h), 0)); }
OSErr16 SuiteSetSize(Handle h, int32_t size) { return Context().handles.SetSize(h, size); }
void SuiteRecoverSpace(int32_t) {}

const HandleSuite kHandleSuite = {
    .New = SuiteNewHandle,
    .Dispose = SuiteDisposeHandle,
    .DisposeRegularHandle = SuiteDisposeHandle,
    .SetLock = SuiteSetLock,
    .GetSize = SuiteGetSize,
    .SetSize = SuiteSetSize,
    .RecoverSpace = SuiteRecoverSpace,
};

char* SuiteNewBuffer(uint32_t* requestedSize, uint32_t minimumSize) {
    if (!requestedSize || *requestedSize < minimumSize) return nullptr;
    BufferStore& buffers = Context().buffers;
    const int64_t size = std::min<int64_t>(*requestedSize, buffers.Space());
    BufferID id = nullptr;
    if (size < minimumSize || buffers.Allocate(size, &id) != 0) return nullptr;
    *requestedSize = static_cast<uint32_t>(size);
    return buffers.Lock(id);
}
// A buffer's address is its id.
void SuiteDisposeBuffer(char** buffer) {
    if (!buffer) return;
    Context().buffers.Free(reinterpret_cast<BufferID>(*buffer));
    *buffer = nullptr;
}
uint32_t SuiteBufferSize(char* buffer) {
    return static_cast<uint32_t>(std::max<int64_t>(Context().buffers.SizeOf(reinterpret_cast<BufferID>(buffer)), 0));
}
uint32_t SuiteBufferSpace() {
    return static_cast<uint32_t>(std::clamp<int64_t>(Context().buffers.Space(), 0, UINT32_MAX));
}

const BufferSuite kBufferSuite = {SuiteNewBuffer, SuiteDisposeBuffer, SuiteBufferSize, SuiteBufferSpace};

// ---- The basic suite

struct OfferedSuite {
    const char* name;
    int32_t version;
    const void* table;
};

const OfferedSuite kOffered[] = {
    {kDescriptorSuiteName, kDescriptorSuiteVersion, &kDescriptorSuite},
    {kDescriptorListSuiteName, kDescriptorListSuiteVersion, &kListSuite},
    {kHandleSuiteName, kHandleSuiteVersion, &kHandleSuite},
    {kPropertySuiteName, kPropertySuiteVersion, nullptr},  // the record's property procedures
    {kBufferSuiteName, kBufferSuiteVersion, &kBufferSuite},
};

const void* TableOf(HostContext& c, const OfferedSuite& offered) {
    return offered.table ? offered.table : &c.propertyProcs;
}

SPErr AcquireSuite(const char* name, int32_t version, const void** suite) {
    HostContext& c = Context();
    if (!name || !suite) return kSPBadParameterError;
    for (const OfferedSuite& offered : kOffered)
        if (std::strcmp(name, offered.name) == 0 && version == offered.version) {
            *suite = TableOf(c, offered);
            if (c.acquired[name]++ == 0) c.log.Format("  acquired suite \"%s\" version %d", name, version);
            return kSPNoError;
        }
    *suite = nullptr;
    c.log.Format("  suite \"%s\" version %d not found", name, version);
    return kSPSuiteNotFoundError;
}

SPErr ReleaseSuite(const char* name, int32_t version) {
    HostContext& c = Context();
    if (!name) return kSPBadParameterError;
    const auto found = c.acquired.find(name);
    if (found == c.acquired.end() || found->second == 0) return kSPBadParameterError;
    if (--found->second == 0) c.log.Format("  released suite \"%s\" version %d", name, version);
    return kSPNoError;
}

int32_t IsEqual(const char* a, const char* b) { return a && b && std::strcmp(a, b) == 0 ? 1 : 0; }

SPErr AllocateBlock(size_t size, void** block) {
    if (!block) return kSPBadParameterError;
    *block = std::malloc(std::max<size_t>(size, 1));
    return *block ? kSPNoError : kSPOutOfMemoryError;
}
SPErr FreeBlock(void* block) {
    std::free(block);
    return kSPNoError;
}
SPErr ReallocateBlock(void* block, size_t size, void** newBlock) {
    if (!newBlock) return kSPBadParameterError;
    void* grown = std::realloc(block, std::max<size_t>(size, 1));
    if (!grown) return kSPOutOfMemoryError;
    *newBlock = grown;
    return kSPNoError;
}
SPErr Undefined() { return kSPSuiteNotFoundError; }

}  // namespace

void InstallBasicSuite(HostContext& c) {
    c.basicSuite = {AcquireSuite, ReleaseSuite, IsEqual, AllocateBlock, FreeBlock, ReallocateBlock, Undefined};
    c.record.sSPBasic = &c.basicSuite;
}

}  // namespace qvhost
