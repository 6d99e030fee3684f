// QuorvelHostCore: a stand-in host for filter plug-ins, as a library.
//
// A HostSession loads a plug-in (or takes an entry function linked into the caller), builds a
// document from an image file or a given Document, offers the filter record's callbacks and the
// host suites, and calls the selectors in a host's order:
//   about (only, when asked) | raw selector (only, when asked) |
//   parameters (with a dialog), prepare, start, continue while the plug-in asks, finish.
// Every call is logged with its selector, result, wall time and data word; the parameters handle
// and data word are kept between calls as a real host keeps them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Descriptor.h"
#include "Document.h"
#include "DocumentLayers.h"
#include "HostLog.h"
#include "PluginInterface.h"
#include "UiScript.h"

namespace qvhost {

struct HostOptions {
    // The plug-in: a .8bf file, or an entry function linked into the calling program.
    std::string pluginPath;
    PluginEntryProc entry = nullptr;

    // The document: read from inputPath, or given. The result is written to outputPath when set.
    // Every output path is checked before the plug-in is loaded, and each output replaces its
    // file only once it is whole (WriteOutputFile).
    std::string inputPath;
    std::string outputPath;
    std::optional<Document> document;
    ImageMode mode;
    std::optional<PixelRect> selection;
    // Layers of the document below and above the target (each list from the bottom up), the
    // target's transparency (the document then is a layer with a transparency plane), and named
    // alpha channels; see DocumentLayers.h.
    std::vector<LayerSpec> layersBelow, layersAbove;
    std::optional<PixelSource> transparency;
    std::vector<AlphaChannelSpec> alphaChannels;
    bool noChannelPorts = false;        // offer neither channelPortProcs nor the channel-ports suite
    bool noDocumentInfo = false;        // leave the record's documentInfo empty

    uint32_t signature = '8BIM';
    uint32_t hostVersion = 0x000D0000;  // the 'vers' property: major << 16 | minor << 8 | fix
    bool dialog = false;                // playInfo "display" instead of "don't display"

    // The scripting descriptor handed to start.
    bool noDescriptor = false;
    bool noDescriptorParameters = false;  // no scripting at all: the record has no descriptor parameters
    bool txlt = false;                  // put 'Txlt' into it
    std::string descriptorIn;           // start from this descriptor file
    std::string descriptorOut;          // write the descriptor the plug-in leaves
    std::string settingsIn;             // a .qvo preset: its settings go in as 'FrMP'
    // Its relative frame paths are made absolute against this folder (default: the preset's own).
    std::string frameFolder;
    std::string settingsOut;            // write the parameter block as a .qvo preset
    std::optional<int32_t> descriptorError;  // every descriptor-suite call fails with this code

    int64_t abortAfter = -1;            // abortProc answers true from this many progress calls on
    // What a host on a machine of this size grants: a 16-bit 6000 x 4000 photo and its render fit.
    int64_t budget = int64_t{1} << 30;
    int32_t tile = 0;                   // see PixelExchange.h
    bool noAdvanceState = false;
    bool noBufferProcs = false;
    bool noHandleProcs = false;
    std::optional<int16_t> filterCase;
    // The host's answer to a plug-in that asks it to undo, deselect and repeat the filter (as the
    // framework's selection round trip does): after a start that leaves a block in the data word
    // with a selection active, the document goes back to how it was before start, the selection
    // is dropped and prepare, start and finish run again.
    bool repeatAfterDeselect = false;

    bool about = false;
    std::optional<int16_t> rawSelector;

    std::string logPath;
    bool echo = false;                  // print the log on the console as it is written
    bool interactiveAlerts = false;     // leave the plug-in's alerts to the user
    // Steps that drive and photograph the plug-in's dialogs from a second thread while the calls
    // run (see UiScript.h); a step that fails makes the run fail. Each step waits this long for a
    // dialog to come up.
    std::vector<UiStep> uiSteps;
    int32_t uiDialogWaitMilliseconds = 5000;

    // Called right before and after each selector call (harness hooks for tests).
    std::function<void(FilterRecord&, int16_t selector)> beforeCall;
    std::function<void(FilterRecord&, int16_t selector, int16_t result)> afterCall;
};

struct CallRecord {
    int16_t selector = 0;
    std::string name;
    int16_t result = 0;
    double milliseconds = 0;
    intptr_t dataWord = 0;
};

struct HostStatistics {
    int64_t progressCalls = 0;
    int32_t lastProgressDone = 0;
    int32_t lastProgressTotal = 0;
    bool aborted = false;
    int64_t advanceStateCalls = 0;
    Fixed16 lastInputRate = 0;     // the input rate of the last advanceState request
    int64_t tilesAssembled = 0;
    int64_t displayPixelsCalls = 0;
    int64_t colorServicesCalls = 0;
    int64_t peakBufferBytes = 0;
    int64_t bytesDelivered = 0;    // input, output and mask bytes handed out by advanceState
    int64_t bytesWrittenBack = 0;  // output bytes taken back into the document
    // Output pixels advanceState handed out outside the filter rectangle, which never go back.
    int64_t outputPixelsOutsideFilter = 0;
    int64_t channelReads = 0;      // channel-port reads and writes
    int64_t channelWrites = 0;
    int32_t filterRuns = 0;        // start calls of the filter sequence
    // Times the host found pointers of the plug-in's own in the record's data fields, at
    // advanceState or when a call returned: a host that frees its buffers through those fields
    // would free the plug-in's memory. Fails the run.
    int32_t foreignDataPointers = 0;
};

// A filter that leaves its result for a new layer (the descriptor's output mode 'Rslt' 1 or 2,
// with a block in the data word) is called again on a transparent layer the host makes above the
// target, as a layered host does; the new layer is composed over the photo for the output.
struct AppliedNewLayer {
    Document photo;  // the target as the filter's first call left it
    Document layer;  // the new layer: colour planes and transparency, as the second call left it
};

struct HostRunResult {
    bool loaded = false;       // the plug-in and the document were ready
    std::string error;         // why not, or why the output could not be written
    std::vector<CallRecord> calls;
    std::vector<std::string> alerts;  // "alert ID answered N: texts" of every alert shown
    int exitCode = 1;          // 0 only when start (or the single selector asked for) answered 0

    const CallRecord* Find(int16_t selector) const;
};

class HostContext;
struct RunResources;

class HostSession {
public:
    explicit HostSession(HostOptions options);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Runs the whole sequence once.
    HostRunResult Run();

    // For a harness that drives a filter in-process instead of through an entry: sets the session
    // up as a run does before its first call (the document with its layers and selection, the
    // record with its callbacks and suites, the descriptor), loading no plug-in. From then on, for
    // as long as the session lives, its callbacks answer (its context is the active one) and the
    // harness makes its calls itself; TakeOutput ends each one as a selector's return does.
    // Answers false with the reason.
    bool Open(std::string& error);
    // Takes the output of the last advanceState delivery back into the document.
    void TakeOutput();
    // Between a harness's calls: the record and the data word as the filter left them, and the
    // document, which DocumentChanged describes to the record again (its selection, filter
    // rectangle, filter case and channels).
    FilterRecord& Record();
    intptr_t& DataWord() { return dataWord_; }
    Document& MutableDocument() { return document_; }
    void DocumentChanged();
    // What a harness may change while the session is open: the buffer budget (later allocations
    // and requests count against it) and the number of progress calls after which abortProc
    // answers true (-1 never).
    void SetBudget(int64_t bytes);
    void SetAbortAfter(int64_t progressCalls);

    const HostOptions& Options() const { return options_; }
    const HostLog& Log() const { return log_; }
    const Document& GetDocument() const { return document_; }
    // The filter record as the last call left it.
    const FilterRecord& Record() const;
    // The bytes of the parameters handle, and the descriptor the plug-in left after start.
    std::vector<uint8_t> Parameters() const;
    const std::optional<Descriptor>& ResultDescriptor() const { return resultDescriptor_; }
    // The photo and the new layer of a run whose filter applied its result to a new layer.
    const std::optional<AppliedNewLayer>& NewLayer() const { return newLayer_; }
    const HostStatistics& Statistics() const;
    // The samples of an alpha channel as the run left them (at the document's depth), or none.
    std::optional<std::vector<uint16_t>> AlphaChannelSamples(const std::string& name) const;

private:
    // Everything before the first call: the log, the document, the plug-in (when withPlugin),
    // the host's window, the record and the descriptor. False with the reason.
    bool Start(bool withPlugin, std::string& error);
    // An output that cannot be written is found before the plug-in is loaded, not after the
    // whole filter ran.
    bool CheckOutputPaths(std::string& error);
    bool LoadDocument(std::string& error);
    bool LoadPlugin(std::string& error);
    bool BuildDescriptor(std::string& error);
    void SetUpRecord();
    int16_t Call(int16_t selector, HostRunResult& result);
    void RunSequence(HostRunResult& result);
    void RunSequenceWithUiSteps(HostRunResult& result);
    void RunFilter(HostRunResult& result);
    bool RunFilterOnce(HostRunResult& result);
    bool ResultWantsNewLayer() const;
    // Calls the filter again on a new layer above the target and composes that layer over the
    // photo; false (the document back as the first call left it) when the call fails.
    bool ApplyToNewLayer(HostRunResult& result);
    void Deselect();
    // The record's view of the document: filter rectangle, mask, filter case and channels.
    void DescribeToRecord();
    void TakeResultDescriptor();
    bool WriteOutputs(std::string& error);

    HostOptions options_;
    HostLog log_;
    Document document_;
    std::unique_ptr<HostContext> context_;
    std::unique_ptr<RunResources> resources_;
    std::optional<Descriptor> resultDescriptor_;
    std::optional<AppliedNewLayer> newLayer_;
    intptr_t dataWord_ = 0;
};

// The selector's name for the log: "about", "parameters", ..., or "selector N".
std::string SelectorName(int16_t selector);

}  // namespace qvhost
