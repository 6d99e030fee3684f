#include "HostServices.h"

namespace HostSuites {
namespace {

Entry gTable[kRowCount] = {
    {nullptr, 2, "df135115-c769-11d0-8079-00c04fd7ec47", 0},
    {nullptr, 2, "bc1e4d70-f953-11d0-8d9f-00c04fd5f7ee", 0},
    {nullptr, 2, "df135117-c769-11d0-8079-00c04fd7ec47", 0},
    {nullptr, 1, "df135116-c769-11d0-8079-00c04fd7ec47", 0},
    {nullptr, 1, "61e608b0-40fd-11d1-8da3-00c04fd5f7ee", 0},
    {nullptr, 1, "Photoshop UIHooks Suite for Plug-ins", 0},
    {nullptr, 2, "Photoshop Handle Suite for Plug-ins", 0},
    {nullptr, 1, "AS ZString Suite", 0},
    {nullptr, 3, "SP Access Suite", 0},
    {nullptr, 4, "Photoshop GetFileList Suite for Plug-ins", 0},
    {nullptr, 1, "Photoshop Buffer Suite for Plug-ins", 0},
    {nullptr, 3, "Photoshop ChannelPorts Suite for Plug-ins", 0},
    {nullptr, 5, "SP Runtime Suite", 0},
    {nullptr, 1, "Photoshop Property Suite for Plug-ins", 0},
    {nullptr, 1, "Photoshop Alias Utility Suite", 0},
    {nullptr, 3, "Photoshop Resource Suite for Plug-ins", 0},
    {nullptr, 1, "Photoshop Progress Suite for Plug-ins", 0},
    {nullptr, 1, "Photoshop ColorSpace Suite for Plug-ins", 0},
    {nullptr, 2, "Photoshop Buffer Suite for Plug-ins", 0},
};

}  // namespace

const void* Acquire(const BasicSuite* basic, Row row) {
    Entry& entry = gTable[row];
    if (entry.suite) return entry.suite;
    if (!basic || !basic->AcquireSuite) throw SuiteAccessException{'Parm'};
    entry.lastError = basic->AcquireSuite(entry.name, entry.version, &entry.suite);
    if (entry.lastError != 0) {
        entry.suite = nullptr;
        throw SuiteAccessException{static_cast<uint32_t>(entry.lastError)};
    }
    return entry.suite;
}

const Entry& At(int row) { return gTable[row]; }

void ReleaseAll(const BasicSuite* basic) noexcept {
    for (Entry& entry : gTable) {
        if (!entry.suite || !entry.name) continue;
        if (basic && basic->ReleaseSuite) {
            basic->ReleaseSuite(entry.name, entry.version);
            entry.suite = nullptr;
        }
    }
}

}  // namespace HostSuites

const DescriptorSuite* GetDescriptorSuite(const BasicSuite* basic) {
    return static_cast<const DescriptorSuite*>(HostSuites::Acquire(basic, HostSuites::kDescriptor));
}
const DescriptorListSuite* GetDescriptorListSuite(const BasicSuite* basic) {
    return static_cast<const DescriptorListSuite*>(HostSuites::Acquire(basic, HostSuites::kDescriptorList));
}
const PropertySuite* GetPropertySuite(const BasicSuite* basic) {
    return static_cast<const PropertySuite*>(HostSuites::Acquire(basic, HostSuites::kProperty));
}
const HandleSuite* GetHandleSuite(const BasicSuite* basic) {
    return static_cast<const HandleSuite*>(HostSuites::Acquire(basic, HostSuites::kHandle));
}

// ---- Host identity

namespace {
uint32_t gHostSignature = 0;
int32_t gRecordedVersion = 0;  // from RecordHostInfo at start
int32_t gQueriedVersion = 0;   // from QueryHostVersion on every call
}  // namespace

int32_t PackHostVersion(intptr_t property) {
    const auto value = static_cast<uint32_t>(property);
    const uint32_t major = value >> 16, minor = (value >> 8) & 0xFF, fix = value & 0xFF;
    return static_cast<int32_t>(major * 256 + minor * 16 + fix);
}

namespace {
// Asks the host's property callback for its version ('8BIM', 'vers'): -1 without the callback.
// The out values are cleared first (some hosts answer success without writing) and a complex
// value the host hands back anyway is not ours to keep: it is disposed of.
ErrorCode AskHostVersion(const FilterRecord* record, intptr_t& value) {
    value = 0;
    if (!record || !HasProc(record->propertyProcs, &PropertyProcs::getProperty)) return -1;
    Handle complex = nullptr;
    const OSErr16 error = record->propertyProcs->getProperty('8BIM', 'vers', 0, &value, &complex);
    if (complex && HasProc(record->handleProcs, &HandleProcs::disposeHandle)) record->handleProcs->disposeHandle(complex);
    return error;
}
}  // namespace

ErrorCode RecordHostInfo(FilterRecord* record) {
    intptr_t value = 0;
    const ErrorCode error = AskHostVersion(record, value);
    if (error == 0) {
        gRecordedVersion = PackHostVersion(value);
        gHostSignature = record->hostSig;
    }
    return error;
}

bool IsPhotoshopHost() { return gHostSignature == '8BIM' || gHostSignature == 'vtRl'; }

ErrorCode QueryHostVersion(FilterRecord* record, int32_t* version) {
    *version = 0;
    gQueriedVersion = 0;
    intptr_t value = 0;
    const ErrorCode error = AskHostVersion(record, value);
    if (error == 0) *version = gQueriedVersion = PackHostVersion(value);
    return error;
}

uint32_t RecordedHostSignature() { return gHostSignature; }
int32_t RecordedHostVersion() { return gRecordedVersion; }
