#include "PluginMain.h"

#include <windows.h>

#include <cstdint>

#include "Alerts.h"
#include "CurrentException.h"
#include "Errors.h"
#include "FilterObjects.h"
#include "HostCall.h"
#include "HostServices.h"
#include "MakerLibraries.h"
#include "PhotoshopFilter.h"
#include "ScriptParams.h"
#include "StartRoutine.h"
#include "Utf.h"
#include "Win32Owners.h"

namespace {

constexpr int kRegistryKeyString = 16921;     // "SOFTWARE\Vantrel Software\Quorvel 4.6"

// The host kind that keeps its data word in the registry between calls loses it otherwise. The
// value is only ours while the process that wrote it runs: beside it we keep the writer's
// identity, and a value another process left is treated as absent.
class FilterDataRegistry {
public:
    FilterDataRegistry() {
        char keyName[256];
        if (!LoadResourceString(kRegistryKeyString, keyName, sizeof keyName)) {
            keyName[0] = '\0';
            THROW_IF_ERROR(Err::ResourceMissing);
        }
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, Utf8ToUtf16(keyName).c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key_.Receive(), nullptr);
    }

    void Read(intptr_t* data) const {
        if (!key_) return;
        uint64_t value = 0, owner = 0;
        DWORD type = 0, size = sizeof value;
        if (RegQueryValueExW(key_.Get(), L"FilterData", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            return;
        DWORD ownerType = 0, ownerSize = sizeof owner;
        if (RegQueryValueExW(key_.Get(), L"FilterDataOwner", nullptr, &ownerType, reinterpret_cast<BYTE*>(&owner),
                             &ownerSize) != ERROR_SUCCESS ||
            owner != ProcessIdentity())
            return;
        *data = static_cast<intptr_t>(value);
    }

    void Write(const intptr_t* data) const {
        if (!key_) return;
        const uint64_t value = static_cast<uint64_t>(*data), owner = ProcessIdentity();
        RegSetValueExW(key_.Get(), L"FilterData", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        RegSetValueExW(key_.Get(), L"FilterDataOwner", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&owner), sizeof owner);
    }

private:
    // The process id and its start time: unique for as long as the volatile key lives.
    static uint64_t ProcessIdentity() {
        FILETIME created{}, exited{}, kernel{}, user{};
        GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
        const uint64_t start = (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
        return (uint64_t{GetCurrentProcessId()} << 40) ^ start;
    }

    OwnedRegistryKey key_;
};

// The about call has a record of its own, with only the window, the basic suite and the
// plug-in's reference: no filter record exists for its length.
HostCall AboutCall(const AboutRecord* about, intptr_t* data) {
    HostCall call;
    call.selector = kSelectorAbout;
    call.data = data;
    call.basicSuite = about ? about->sSPBasic : nullptr;
    call.parentWindow = about && about->platformData ? reinterpret_cast<HWND>(about->platformData->hwnd) : nullptr;
    return call;
}

void TearDownCall(HostCall& call, FilterObjects& filters) {
    if (FilterRecord* record = call.record) {
        record->inRect = Rect16{};
        record->outRect = Rect16{};
        record->maskRect = Rect16{};
        // The data fields go back as the host filled them, never pointing at our buffers.
        call.delivered.PutBack(*record);
    }
    // A host calls finish only after a start that succeeded: a session that fails in prepare or
    // start never gets there. Every call therefore gives back what it acquired, on every way out,
    // while it still holds the basic suite it acquired through.
    HostSuites::ReleaseAll(call.basicSuite);
    filters.Delete();
}

ErrorCode Dispatch(HostCall& call, FilterObjects& filters, const FilterClass& filterClass) {
    switch (call.selector) {
    case kSelectorAbout:
        DoAbout(call.parentWindow);
        return 0;
    case kSelectorParameters:
    case kSelectorContinue:
        return 0;
    case kSelectorPrepare:
        filters.Build(call, filterClass);
        return DoPrepare(call, filters);
    case kSelectorStart: {
        RecordHostInfo(call.record);
        if (IsNoDialogCall(call)) return 0;
        filters.Build(call, filterClass);
        ScriptState script;
        // Scripted settings that are corrupt, reported and not replaced by the defaults end the call.
        if (const ErrorCode refused = ReadScriptParams(call, filters.main, filters.stack, script)) return refused;
        const ErrorCode result = DoStart(call, filters, script.run);
        WriteScriptParams(call, filters.stack);
        return result;
    }
    case kSelectorFinish:
        HostSuites::ReleaseAll(call.basicSuite);
        return 0;
    default:
        return Err::SelectorNotSupported;
    }
}

}  // namespace

void PluginMain(int16_t selector, void* callRecord, intptr_t* data, int16_t* result, const FilterClass& filterClass) {
    *result = 0;
    const bool about = selector == kSelectorAbout;
    FilterRecord* record = about ? nullptr : static_cast<FilterRecord*>(callRecord);
    // A host that keeps no data word still gets its call; the session block then lasts one call.
    intptr_t callData = 0;
    if (!data) data = &callData;
    if (!about && !record) {
        *result = Err::BadParameters;  // no filter record: nothing to filter
        return;
    }
    // The call, and the filter objects that serve it, live for the dispatch: both are handed down.
    HostCall call = about ? AboutCall(static_cast<const AboutRecord*>(callRecord), data)
                          : HostCall::OfFilterRecord(selector, record, data);
    const HostCallScope scope(call);
    FilterObjects filters;
    try {
        const bool registryCopy = GetHostKind() == kHostKindPhotoPnt;
        if (registryCopy) FilterDataRegistry().Read(data);
        if (!about) {
            int32_t version = 0;
            QueryHostVersion(record, &version);
        }
        *result = Dispatch(call, filters, filterClass);
        if (registryCopy) FilterDataRegistry().Write(data);
    } catch (...) {
        // The selectors' own routines turn their codes into results and show their alerts. A
        // 16-bit code that gets past them (out of the script reader, out of about) is a failure
        // no routine answered for, and the host hears out-of-memory as for any other exception;
        // only the descriptor suites' codes are the host's own, and go back to it.
        *result = CodeOfCurrentException(Err::MemoryFull, ThrownCodes::kSuiteErrors);
    }
    TearDownCall(call, filters);
}

ErrorCode DoPrepare(HostCall& call, FilterObjects& filters) {
    try {
        if (!filters.main) THROW_IF_ERROR(Err::MemoryFull);
        call.record->bufferSpace = 0x40000;
        filters.main->Prepare();
        return 0;
    } catch (...) {
        // Prepare only negotiates memory: its codes are the result, and anything else is a
        // failure without a code (the descriptor suites take no part in it).
        return CodeOfCurrentException(Err::Unexplained, ThrownCodes::kErrorCodes);
    }
}
