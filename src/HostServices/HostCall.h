// The host's call in progress: what the plug-in keeps of it for the call's length. The entry opens
// a HostCallScope round every call; the host services below the framework and everything above
// them read the call through HostCall::Current(). Between calls there is none: every field is
// empty.
#pragma once

#include <windows.h>

#include <cstdint>

#include "Alerts.h"
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

    static const HostCall& Current() { return current_; }
    // Kept up to date by whoever calls the host's advanceState.
    static HostDelivery& Delivered() { return current_.delivered; }

private:
    friend class HostCallScope;
    static HostCall current_;
};

// Makes `call` the call in progress for the scope's life, with the next call number and its window
// as the host's window of the alerts, then puts back the call before.
class HostCallScope {
public:
    explicit HostCallScope(const HostCall& call);
    HostCallScope(const HostCallScope&) = delete;
    HostCallScope& operator=(const HostCallScope&) = delete;
    ~HostCallScope();

private:
    HostCall previous_;
    HostWindowScope window_;
};
