// The host's call in progress: what the plug-in keeps of it for the call's length. The entry's
// dispatch keeps the call and opens a HostCallScope round it; the call then travels down by hand:
// the filter objects hold it, and the services below them are handed the call, its record or the
// narrower thing they need (a suite, a procedure, the host's window, the bytes per sample).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "Alerts.h"
#include "HostMemory.h"
#include "PluginInterface.h"

// The record's data fields as the host last filled them: where it delivered the input, the output
// and the mask, and their row bytes. Between requests the plug-in points these fields at buffers
// of its own (a cache, a scratch buffer, another preview's tile), but the host must only ever find
// its own there: some hosts free what they find before they hand out new memory, and some answer
// a request equal to their last one by leaving the fields as they are.
struct HostDelivery {
    void* inData = nullptr;
    void* outData = nullptr;
    void* maskData = nullptr;
    int32_t inRowBytes = 0, outRowBytes = 0, maskRowBytes = 0;

    static HostDelivery Of(const FilterRecord& record);
    void PutBack(FilterRecord& record) const;
};

struct HostCall {
    FilterRecord* record = nullptr;  // none for the about selector
    int16_t selector = 0;
    intptr_t* data = nullptr;        // the host's data word
    int32_t bytesPerSample = 0;      // 0 bitmap, 1 the 8-bit modes, 2 the 16-bit modes
    BasicSuite* basicSuite = nullptr;
    HWND parentWindow = nullptr;     // the host's main window, or none
    uint32_t number = 0;             // counts the host's calls: tells what one call did from the next
    HostDelivery delivered;          // the record's data fields as the host last filled them

    // A call that carries a filter record: the record's basic suite and window, and the bytes
    // per sample of its image mode.
    static HostCall OfFilterRecord(int16_t selector, FilterRecord* record, intptr_t* data);

    // The call of the innermost open scope (an empty call between calls). The plug-in's code reads
    // none of it: every piece is handed its call. Tests that open a scope round the code they drive
    // read it here.
    static HostCall& Current();
};

// Opens `call` for the scope's life: gives it the next call number and takes the host's data
// fields as the host filled them, makes its window the host's window of the alerts and its
// record's handle and buffer procedures those of host memory, then puts back the call before.
class HostCallScope {
public:
    // A call its caller keeps for at least the scope's life (the entry's dispatch, a test whose
    // filter objects were built with the call before it opened).
    explicit HostCallScope(HostCall& call);
    // A call the scope keeps itself.
    explicit HostCallScope(HostCall&& call);
    HostCallScope(const HostCallScope&) = delete;
    HostCallScope& operator=(const HostCallScope&) = delete;
    ~HostCallScope();

    HostCall& Call() { return *call_; }

private:
    std::optional<HostCall> kept_;
    HostCall* call_;
    HostCall* previous_;
    HostWindowScope window_;
    HostMemoryScope memory_;
};
