// Host suites acquired through the basic suite, and the host's identity: signature, version and
// kind.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "HostSuites.h"

namespace HostSuites {
// The table's rows; each row's suite is acquired on first use and kept until the finish selector.
enum Row : int {
    kDescriptor = 0,
    kDescriptorList = 3,
    kHandle = 6,
    kBuffer = 10,
    kChannelPorts = 11,
    kProperty = 13,
    kRowCount = 19,
};

struct Entry {
    const void* suite;
    int32_t version;
    const char* name;
    int32_t lastError;
};

// Acquires the row's suite through the call's basic suite (throws SuiteAccessException without a
// basic suite or when the host refuses it) and answers its function table.
const void* Acquire(const BasicSuite* basic, Row row);
const Entry& At(int row);
// Releases every acquired suite through the call's basic suite. Never throws: it runs in the
// tear-down of every host call.
void ReleaseAll(const BasicSuite* basic) noexcept;
}  // namespace HostSuites

// The suites, acquired through the call's basic suite.
const DescriptorSuite* GetDescriptorSuite(const BasicSuite* basic);
const DescriptorListSuite* GetDescriptorListSuite(const BasicSuite* basic);
const PropertySuite* GetPropertySuite(const BasicSuite* basic);
const HandleSuite* GetHandleSuite(const BasicSuite* basic);

// ---- Host identity

enum HostKind : int32_t {
    kHostKindUnknown = 0,
    kHostKindOther = 1,
    kHostKindPhotoPnt = 2,      // the executable's internal name is "PhotoPnt"
    kHostKindElements = 3,      // the product name contains "Adobe Photoshop Elements"
};

ErrorCode RecordHostInfo(FilterRecord* record);
bool IsPhotoshopHost();
ErrorCode QueryHostVersion(FilterRecord* record, int32_t* version);
uint32_t RecordedHostSignature();
int32_t RecordedHostVersion();
int32_t GetHostKind();
int32_t DetectHostKind();
void GetHostVersionStrings(char* internalName, char* productName);  // 256 bytes each
// Hides (restore false) or restores the host's palettes while a dialog of ours is open.
void ShowHostPalettes(bool restore, int32_t version);

// Packs the host's 'vers' property: major x 256 + minor x 16 + fix.
int32_t PackHostVersion(intptr_t property);
