// The host suites a plug-in acquires by name and version through the basic suite. Each table is
// the host's, in the host's order: a plug-in calls into it by position, so a slot out of place
// calls another procedure. Descriptors and lists are host objects reached through opaque
// references.
#pragma once

#include "PluginInterface.h"

extern "C" {

using DescriptorRef = struct HostDescriptorOpaque*;
using DescriptorListRef = struct HostDescriptorListOpaque*;
using DescriptorReferenceRef = struct HostReferenceOpaque*;
using ZStringRef = struct HostZStringOpaque*;
using DescriptorKey = uint32_t;
using DescriptorType = uint32_t;

// Value types of descriptor and list entries.
enum : uint32_t {
    kTypeInteger = 'long',
    kTypeFloat = 'doub',
    kTypeUnitFloat = 'UntF',
    kTypeBoolean = 'bool',
    kTypeText = 'TEXT',
    kTypeAlias = 'alis',
    kTypeEnumerated = 'enum',
    kTypeClass = 'type',
    kTypeGlobalClass = 'GlbC',
    kTypeObject = 'Objc',
    kTypeGlobalObject = 'GlbO',
    kTypeReference = 'obj ',
    kTypeList = 'VlLs',
    kTypeRawData = 'tdta',
};

// Suite names and versions the host offers.
#define kDescriptorSuiteName "df135115-c769-11d0-8079-00c04fd7ec47"
#define kDescriptorSuiteVersion 2
#define kDescriptorListSuiteName "df135116-c769-11d0-8079-00c04fd7ec47"
#define kDescriptorListSuiteVersion 1
#define kHandleSuiteName "Photoshop Handle Suite for Plug-ins"
#define kHandleSuiteVersion 2
#define kPropertySuiteName "Photoshop Property Suite for Plug-ins"
#define kPropertySuiteVersion 1
#define kBufferSuiteName "Photoshop Buffer Suite for Plug-ins"
#define kBufferSuiteVersion 1

// Errors a suite call answers (0 is success).
enum : SPErr {
    kSPNoError = 0,
    kSPSuiteNotFoundError = 'S!Fd',
    kSPBadParameterError = 'Parm',
    kSPUnimplementedError = '!IMP',
    kSPOutOfMemoryError = -108,
};

// The action-descriptor suite, version 2: 46 procedures.
struct DescriptorSuite {
    SPErr (*Make)(DescriptorRef* descriptor);
    SPErr (*Free)(DescriptorRef descriptor);
    SPErr (*GetType)(DescriptorRef descriptor, DescriptorKey key, DescriptorType* type);
    SPErr (*GetKey)(DescriptorRef descriptor, uint32_t index, DescriptorKey* key);
    SPErr (*HasKey)(DescriptorRef descriptor, DescriptorKey key, Boolean8* has);
    SPErr (*GetCount)(DescriptorRef descriptor, uint32_t* count);
    SPErr (*IsEqual)(DescriptorRef descriptor, DescriptorRef other, Boolean8* equal);
    SPErr (*Erase)(DescriptorRef descriptor, DescriptorKey key);
    SPErr (*Clear)(DescriptorRef descriptor);

    SPErr (*PutInteger)(DescriptorRef descriptor, DescriptorKey key, int32_t value);
    SPErr (*PutFloat)(DescriptorRef descriptor, DescriptorKey key, double value);
    SPErr (*PutUnitFloat)(DescriptorRef descriptor, DescriptorKey key, uint32_t unit, double value);
    SPErr (*PutString)(DescriptorRef descriptor, DescriptorKey key, const char* text);
    SPErr (*PutBoolean)(DescriptorRef descriptor, DescriptorKey key, Boolean8 value);
    SPErr (*PutList)(DescriptorRef descriptor, DescriptorKey key, DescriptorListRef list);
    SPErr (*PutObject)(DescriptorRef descriptor, DescriptorKey key, DescriptorType type, DescriptorRef value);
    SPErr (*PutGlobalObject)(DescriptorRef descriptor, DescriptorKey key, DescriptorType type, DescriptorRef value);
    SPErr (*PutEnumerated)(DescriptorRef descriptor, DescriptorKey key, DescriptorType type, uint32_t value);
    SPErr (*PutReference)(DescriptorRef descriptor, DescriptorKey key, DescriptorReferenceRef value);
    SPErr (*PutClass)(DescriptorRef descriptor, DescriptorKey key, DescriptorType type);
    SPErr (*PutGlobalClass)(DescriptorRef descriptor, DescriptorKey key, DescriptorType type);
    SPErr (*PutAlias)(DescriptorRef descriptor, DescriptorKey key, Handle alias);

    SPErr (*GetInteger)(DescriptorRef descriptor, DescriptorKey key, int32_t* value);
    SPErr (*GetFloat)(DescriptorRef descriptor, DescriptorKey key, double* value);
    SPErr (*GetUnitFloat)(DescriptorRef descriptor, DescriptorKey key, uint32_t* unit, double* value);
    SPErr (*GetStringLength)(DescriptorRef descriptor, DescriptorKey key, uint32_t* length);
    // Copies at most maxLength - 1 bytes and a terminator.
    SPErr (*GetString)(DescriptorRef descriptor, DescriptorKey key, char* text, uint32_t maxLength);
    SPErr (*GetBoolean)(DescriptorRef descriptor, DescriptorKey key, Boolean8* value);
    // The list belongs to the caller, who frees it with the list suite.
    SPErr (*GetList)(DescriptorRef descriptor, DescriptorKey key, DescriptorListRef* list);
    SPErr (*GetObject)(DescriptorRef descriptor, DescriptorKey key, DescriptorType* type, DescriptorRef* value);
    SPErr (*GetGlobalObject)(DescriptorRef descriptor, DescriptorKey key, DescriptorType* type, DescriptorRef* value);
    SPErr (*GetEnumerated)(DescriptorRef descriptor, DescriptorKey key, DescriptorType* type, uint32_t* value);
    SPErr (*GetReference)(DescriptorRef descriptor, DescriptorKey key, DescriptorReferenceRef* value);
    SPErr (*GetClass)(DescriptorRef descriptor, DescriptorKey key, DescriptorType* type);
    SPErr (*GetGlobalClass)(DescriptorRef descriptor, DescriptorKey key, DescriptorType* type);
    SPErr (*GetAlias)(DescriptorRef descriptor, DescriptorKey key, Handle* alias);

    SPErr (*HasKeys)(DescriptorRef descriptor, const DescriptorKey* keys, Boolean8* hasAll);
    SPErr (*PutIntegers)(DescriptorRef descriptor, DescriptorKey key, uint32_t count, const int32_t* values);
    SPErr (*GetIntegers)(DescriptorRef descriptor, DescriptorKey key, uint32_t count, int32_t* values);
    SPErr (*AsHandle)(DescriptorRef descriptor, Handle* flat);
    SPErr (*HandleToDescriptor)(Handle flat, DescriptorRef* descriptor);
    SPErr (*PutZString)(DescriptorRef descriptor, DescriptorKey key, ZStringRef text);
    SPErr (*GetZString)(DescriptorRef descriptor, DescriptorKey key, ZStringRef* text);
    SPErr (*PutData)(DescriptorRef descriptor, DescriptorKey key, int32_t length, const void* data);
    SPErr (*GetDataLength)(DescriptorRef descriptor, DescriptorKey key, int32_t* length);
    // Copies the whole value; the caller sized the buffer with GetDataLength.
    SPErr (*GetData)(DescriptorRef descriptor, DescriptorKey key, void* data);
};
static_assert(sizeof(DescriptorSuite) == 46 * 8);
static_assert(offsetof(DescriptorSuite, HasKey) == 4 * 8 && offsetof(DescriptorSuite, PutInteger) == 9 * 8);
static_assert(offsetof(DescriptorSuite, PutString) == 12 * 8 && offsetof(DescriptorSuite, PutList) == 14 * 8);
static_assert(offsetof(DescriptorSuite, GetInteger) == 22 * 8 && offsetof(DescriptorSuite, GetString) == 26 * 8);
static_assert(offsetof(DescriptorSuite, GetBoolean) == 27 * 8 && offsetof(DescriptorSuite, GetList) == 28 * 8);
static_assert(offsetof(DescriptorSuite, AsHandle) == 39 * 8 && offsetof(DescriptorSuite, HandleToDescriptor) == 40 * 8);
static_assert(offsetof(DescriptorSuite, PutData) == 43 * 8 && offsetof(DescriptorSuite, GetData) == 45 * 8);

// The action-list suite, version 1: 38 procedures. Getters take the item's index, putters append.
struct DescriptorListSuite {
    SPErr (*Make)(DescriptorListRef* list);
    SPErr (*Free)(DescriptorListRef list);
    SPErr (*GetType)(DescriptorListRef list, uint32_t index, DescriptorType* type);
    SPErr (*GetCount)(DescriptorListRef list, uint32_t* count);

    SPErr (*PutInteger)(DescriptorListRef list, int32_t value);
    SPErr (*PutFloat)(DescriptorListRef list, double value);
    SPErr (*PutUnitFloat)(DescriptorListRef list, uint32_t unit, double value);
    SPErr (*PutString)(DescriptorListRef list, const char* text);
    SPErr (*PutBoolean)(DescriptorListRef list, Boolean8 value);
    SPErr (*PutList)(DescriptorListRef list, DescriptorListRef value);
    SPErr (*PutObject)(DescriptorListRef list, DescriptorType type, DescriptorRef value);
    SPErr (*PutGlobalObject)(DescriptorListRef list, DescriptorType type, DescriptorRef value);
    SPErr (*PutEnumerated)(DescriptorListRef list, DescriptorType type, uint32_t value);
    SPErr (*PutReference)(DescriptorListRef list, DescriptorReferenceRef value);
    SPErr (*PutClass)(DescriptorListRef list, DescriptorType type);
    SPErr (*PutGlobalClass)(DescriptorListRef list, DescriptorType type);
    SPErr (*PutAlias)(DescriptorListRef list, Handle alias);

    SPErr (*GetInteger)(DescriptorListRef list, uint32_t index, int32_t* value);
    SPErr (*GetFloat)(DescriptorListRef list, uint32_t index, double* value);
    SPErr (*GetUnitFloat)(DescriptorListRef list, uint32_t index, uint32_t* unit, double* value);
    SPErr (*GetStringLength)(DescriptorListRef list, uint32_t index, uint32_t* length);
    SPErr (*GetString)(DescriptorListRef list, uint32_t index, char* text, uint32_t maxLength);
    SPErr (*GetBoolean)(DescriptorListRef list, uint32_t index, Boolean8* value);
    SPErr (*GetList)(DescriptorListRef list, uint32_t index, DescriptorListRef* value);
    SPErr (*GetObject)(DescriptorListRef list, uint32_t index, DescriptorType* type, DescriptorRef* value);
    SPErr (*GetGlobalObject)(DescriptorListRef list, uint32_t index, DescriptorType* type, DescriptorRef* value);
    SPErr (*GetEnumerated)(DescriptorListRef list, uint32_t index, DescriptorType* type, uint32_t* value);
    SPErr (*GetReference)(DescriptorListRef list, uint32_t index, DescriptorReferenceRef* value);
    SPErr (*GetClass)(DescriptorListRef list, uint32_t index, DescriptorType* type);
    SPErr (*GetGlobalClass)(DescriptorListRef list, uint32_t index, DescriptorType* type);
    SPErr (*GetAlias)(DescriptorListRef list, uint32_t index, Handle* alias);

    SPErr (*PutIntegers)(DescriptorListRef list, uint32_t count, const int32_t* values);
    SPErr (*GetIntegers)(DescriptorListRef list, uint32_t count, int32_t* values);
    SPErr (*PutData)(DescriptorListRef list, int32_t length, const void* data);
    SPErr (*GetDataLength)(DescriptorListRef list, uint32_t index, int32_t* length);
    SPErr (*GetData)(DescriptorListRef list, uint32_t index, void* data);
    SPErr (*PutZString)(DescriptorListRef list, ZStringRef text);
    SPErr (*GetZString)(DescriptorListRef list, uint32_t index, ZStringRef* text);
};
static_assert(sizeof(DescriptorListSuite) == 38 * 8);
static_assert(offsetof(DescriptorListSuite, GetCount) == 3 * 8 && offsetof(DescriptorListSuite, PutString) == 7 * 8);
static_assert(offsetof(DescriptorListSuite, GetInteger) == 17 * 8 && offsetof(DescriptorListSuite, GetString) == 21 * 8);
static_assert(offsetof(DescriptorListSuite, PutData) == 33 * 8 && offsetof(DescriptorListSuite, GetData) == 35 * 8);

// The handle suite, version 2: the record's handle procedures by another door.
struct HandleSuite {
    Handle (*New)(int32_t size);
    void (*Dispose)(Handle h);
    void (*DisposeRegularHandle)(Handle h);
    void (*SetLock)(Handle h, Boolean8 lock, char** address, Boolean8* oldLock);
    int32_t (*GetSize)(Handle h);
    OSErr16 (*SetSize)(Handle h, int32_t newSize);
    void (*RecoverSpace)(int32_t size);
};
static_assert(sizeof(HandleSuite) == 56 && offsetof(HandleSuite, SetLock) == 24 && offsetof(HandleSuite, SetSize) == 40);

// Buffers by address: New hands out between minimumSize and *requestedSize bytes (as many as the
// host can spare) and writes the size it gave into *requestedSize; null when not even the minimum
// fits. Dispose frees the buffer and clears the caller's pointer.
struct BufferSuite {
    char* (*New)(uint32_t* requestedSize, uint32_t minimumSize);
    void (*Dispose)(char** buffer);
    uint32_t (*GetSize)(char* buffer);
    uint32_t (*GetSpace)();
};
static_assert(sizeof(BufferSuite) == 32);

// The property suite has the layout of the record's property procedures, header included.
using PropertySuite = PropertyProcs;

}  // extern "C"
