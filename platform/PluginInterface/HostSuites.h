// The host suites a plug-in acquires by name and version through the basic suite.
// Descriptors and lists are host objects reached through opaque references.
#pragma once

#include "PluginInterface.h"

extern "C" {

using DescriptorRef = struct HostDescriptorOpaque*;
using DescriptorListRef = struct HostDescriptorListOpaque*;
using DescriptorKey = uint32_t;
using DescriptorType = uint32_t;

// Value types of descriptor and list entries.
enum : uint32_t {
    kTypeInteger = 'long',
    kTypeLargeInteger = 'comp',
    kTypeFloat = 'doub',
    kTypeBoolean = 'bool',
    kTypeText = 'TEXT',
    kTypeRawData = 'tdta',
    kTypeList = 'VlLs',
    kTypeObject = 'Objc',
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
#define kChannelPortsSuiteName "Photoshop ChannelPorts Suite for Plug-ins"
#define kChannelPortsSuiteVersion 3

// Errors a suite call answers (0 is success).
enum : SPErr {
    kSPNoError = 0,
    kSPSuiteNotFoundError = 'S!Fd',
    kSPBadParameterError = 'Parm',
    kSPOutOfMemoryError = -108,
};

struct DescriptorSuite {
    SPErr (*Make)(DescriptorRef* descriptor);
    SPErr (*Free)(DescriptorRef descriptor);
    SPErr (*HandleToDescriptor)(Handle flat, DescriptorRef* descriptor);
    SPErr (*AsHandle)(DescriptorRef descriptor, Handle* flat);
    SPErr (*HasKey)(DescriptorRef descriptor, DescriptorKey key, Boolean8* has);
    SPErr (*GetType)(DescriptorRef descriptor, DescriptorKey key, DescriptorType* type);
    SPErr (*GetCount)(DescriptorRef descriptor, uint32_t* count);

    SPErr (*PutInteger)(DescriptorRef descriptor, DescriptorKey key, int32_t value);
    SPErr (*PutLargeInteger)(DescriptorRef descriptor, DescriptorKey key, int64_t value);
    SPErr (*PutFloat)(DescriptorRef descriptor, DescriptorKey key, double value);
    SPErr (*PutBoolean)(DescriptorRef descriptor, DescriptorKey key, Boolean8 value);
    SPErr (*PutString)(DescriptorRef descriptor, DescriptorKey key, const char* utf8);
    SPErr (*PutData)(DescriptorRef descriptor, DescriptorKey key, int32_t length, const void* data);
    SPErr (*PutList)(DescriptorRef descriptor, DescriptorKey key, DescriptorListRef list);

    SPErr (*GetInteger)(DescriptorRef descriptor, DescriptorKey key, int32_t* value);
    SPErr (*GetLargeInteger)(DescriptorRef descriptor, DescriptorKey key, int64_t* value);
    SPErr (*GetFloat)(DescriptorRef descriptor, DescriptorKey key, double* value);
    SPErr (*GetBoolean)(DescriptorRef descriptor, DescriptorKey key, Boolean8* value);
    // Copies at most maxLength - 1 bytes and a terminator.
    SPErr (*GetString)(DescriptorRef descriptor, DescriptorKey key, char* utf8, uint32_t maxLength);
    SPErr (*GetStringLength)(DescriptorRef descriptor, DescriptorKey key, uint32_t* length);
    SPErr (*GetDataLength)(DescriptorRef descriptor, DescriptorKey key, int32_t* length);
    // Copies the whole value; the caller sized the buffer with GetDataLength.
    SPErr (*GetData)(DescriptorRef descriptor, DescriptorKey key, void* data);
    // The list belongs to the caller, who frees it with the list suite.
    SPErr (*GetList)(DescriptorRef descriptor, DescriptorKey key, DescriptorListRef* list);
};

struct DescriptorListSuite {
    SPErr (*Make)(DescriptorListRef* list);
    SPErr (*Free)(DescriptorListRef list);
    SPErr (*GetCount)(DescriptorListRef list, uint32_t* count);
    SPErr (*GetType)(DescriptorListRef list, uint32_t index, DescriptorType* type);
    SPErr (*PutInteger)(DescriptorListRef list, int32_t value);
    SPErr (*PutString)(DescriptorListRef list, const char* utf8);
    SPErr (*PutData)(DescriptorListRef list, int32_t length, const void* data);
    SPErr (*GetInteger)(DescriptorListRef list, uint32_t index, int32_t* value);
    SPErr (*GetString)(DescriptorListRef list, uint32_t index, char* utf8, uint32_t maxLength);
    SPErr (*GetDataLength)(DescriptorListRef list, uint32_t index, int32_t* length);
    SPErr (*GetData)(DescriptorListRef list, uint32_t index, void* data);
};

// The handle suite offers the same operations as the record's handle procedures.
struct HandleSuite {
    Handle (*New)(int32_t size);
    void (*Dispose)(Handle h);
    void (*SetLock)(Handle h, Boolean8 lock, char** address, Boolean8* oldLock);
    int32_t (*GetSize)(Handle h);
    SPErr (*SetSize)(Handle h, int32_t newSize);
};

// Buffers by address: New hands out between minimumSize and *requestedSize bytes (as many as the
// host can spare) and writes the size it gave into *requestedSize; null when not even the minimum
// fits. Dispose frees the buffer and clears the caller's pointer.
struct BufferSuite {
    char* (*New)(uint32_t* requestedSize, uint32_t minimumSize);
    void (*Dispose)(char** buffer);
    uint32_t (*GetSize)(char* buffer);
    uint32_t (*GetSpace)();
};

// The channel-ports suite: the record's channel-port procedures, answering 32-bit codes.
struct ChannelPortsSuite {
    SPErr (*ReadPixels)(ChannelReadPort port, const PSScaling* scaling, const Rect32* writeLimit,
                        const PixelMemoryDesc* destination, Rect32* wroteRect);
    SPErr (*WriteBasePixels)(ChannelWritePort port, const Rect32* writeRect, const PixelMemoryDesc* source);
    SPErr (*ReadPortForWritePort)(ChannelReadPort* readPort, ChannelWritePort writePort);
};

struct PropertySuite {
    OSErr16 (*GetProperty)(uint32_t signature, uint32_t key, int32_t index, intptr_t* simpleProperty,
                           Handle* complexProperty);
    OSErr16 (*SetProperty)(uint32_t signature, uint32_t key, int32_t index, intptr_t simpleProperty,
                           Handle complexProperty);
};

}  // extern "C"
