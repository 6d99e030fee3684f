// What the host's scripting descriptor carries besides the parameter block.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "HostSuites.h"
#include "PhotoshopFilter.h"

struct BatchJob;
struct HostCall;
struct StackState;

// What one start call's descriptor asks for besides the settings: the run's options, which the
// entry hands to the framework, and what the batch side reads.
struct ScriptState {
    RunOptions run;
    bool lrcp = true;              // the process flag 'LRCP'
    BatchJob* batchJob = nullptr;  // the batch runner's job ('FbsT'), or none
};

inline constexpr size_t kMaxChannelNameBytes = 255;

// Whether the call's descriptor holds 'Txlt': the call has nothing to do.
bool IsNoDialogCall(const HostCall& call);
// Reads the call's descriptor into the parameter block and the script state; the call's main
// filter object validates the block. Answers 0, or the call's result when the settings handed in
// were corrupt and the user did not take the defaults offered in their place.
ErrorCode ReadScriptParams(const HostCall& call, PhotoshopFilter* main, StackState& stack, ScriptState& script);
// Writes the block, the output mode and the layered-output lists back into the call's descriptor.
void WriteScriptParams(const HostCall& call, StackState& stack);

// Whether the call shows the dialog: the host asks for it, or hands over no settings to run with
// (a host without scripting, or a call from its menu, carries no descriptor).
bool ShowDialogRequested(const FilterRecord* record);

// The output modes written as 'Rslt', which the batch side reads.
namespace ScriptOutputMode {
inline constexpr int32_t kToNewLayer = 1;           // the output option "Apply to New Layer"
inline constexpr int32_t kEachFrameToNewLayer = 2;  // "Apply Each Frame to New Layer"
inline constexpr int32_t kMerged = 3;               // into the photo
inline constexpr int32_t kMask = 4;                 // layered output: the frames as a mask
inline constexpr int32_t kLayers = 5;               // layered output: the layers
}  // namespace ScriptOutputMode

// The output mode written as 'Rslt', from the block's output option and layered-output mode.
int32_t OutputModeOf(uint8_t outputOption, uint8_t layeredMode);

// A list item of 'FrpM': a handle image from the scripting copy's start (ParameterHeader::
// kScriptCopyStart) on.
SPErr AppendListData(const DescriptorListSuite* listSuite, DescriptorListRef list, int64_t length, const uint8_t* image);
