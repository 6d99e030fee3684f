// The state behind the callbacks and suites of one session. The plug-in interface's callbacks
// carry no context, so the session makes its context the active one for as long as it runs.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Descriptor.h"
#include "DocumentLayers.h"
#include "HostMemory.h"
#include "HostSession.h"
#include "HostSuites.h"

namespace qvhost {

// The pixels of the last advanceState delivery; the output goes back into the document at the
// next delivery and when the plug-in returns.
struct PixelExchange {
    std::vector<uint8_t> in, out, mask;
    Rect16 outRect{};
    int16_t outLoPlane = 0, outHiPlane = -1;
    int32_t outRowBytes = 0;
    bool outputPending = false;
    // What the last delivery put into the record's data fields. A plug-in may point them at
    // buffers of its own between requests, but must put these back before it asks again or
    // returns: some hosts free whatever those fields hold before they hand out new memory.
    const void* handedIn = nullptr;
    const void* handedOut = nullptr;
    const void* handedMask = nullptr;
};

class HostContext {
public:
    HostContext(const HostOptions& options, HostLog& log, Document& document);
    HostContext(const HostContext&) = delete;
    HostContext& operator=(const HostContext&) = delete;
    ~HostContext();

    const HostOptions& options;
    HostLog& log;
    Document& document;
    // What the filter reads while a run goes on: the document as it was when the run began, as a
    // host delivers the layer's pixels from before the filter, however much output it has taken
    // (a preview writes output long before the final pass). Null: the document itself.
    const Document* inputSource = nullptr;
    HandleStore handles;
    BufferStore buffers;
    HostStatistics statistics;
    PixelExchange pixels;

    // Descriptors and lists handed out through the suites; the plug-in frees them.
    std::map<DescriptorRef, std::unique_ptr<Descriptor>> descriptors;
    std::map<DescriptorListRef, std::unique_ptr<DescriptorList>> lists;
    // Acquire counts by suite name.
    std::map<std::string, int> acquired;
    // The resources the plug-in added, by type; index 1 is the first.
    std::map<uint32_t, std::vector<std::vector<uint8_t>>> resources;

    FilterRecord record{};
    PlatformData platform{};
    BufferProcs bufferProcs{};
    HandleProcs handleProcs{};
    PropertyProcs propertyProcs{};
    ResourceProcs resourceProcs{};
    DescriptorParameters descriptorParameters{};
    BasicSuite basicSuite{};
    ChannelPortProcs channelPortProcs{};
    ReadImageDocumentDescLayered documentInfo{};
    Str255 errorText{};  // where the plug-in writes the text of a kErrReportString result
    DocumentLayers layers;
};

// The session that runs now, or null outside a run.
HostContext* ActiveContext();

// Makes a context the active one for its lifetime.
class ActiveContextScope {
public:
    explicit ActiveContextScope(HostContext& context);
    ActiveContextScope(const ActiveContextScope&) = delete;
    ActiveContextScope& operator=(const ActiveContextScope&) = delete;
    ~ActiveContextScope();

private:
    HostContext* previous_;
};

// Each of these fills its part of the record and the context's procedure tables.
void InstallMemoryProcs(HostContext& context);     // buffer and handle procedures
void InstallRecordProcs(HostContext& context);     // abort, progress, property, resource procs
void InstallPixelProcs(HostContext& context);      // advanceState, displayPixels
void InstallColorServices(HostContext& context);
void InstallBasicSuite(HostContext& context);
// The record's layer plane counts, channel-port procedures and document information.
void InstallChannelPorts(HostContext& context);
// Describes the document as it is now (after a change of its selection, say).
void DescribeDocument(HostContext& context);

}  // namespace qvhost
