// What the host's scripting descriptor carries besides the parameter block.
#pragma once

#include <cstdint>
#include <string>

#include "HostSuites.h"

struct BatchJob;

struct ScriptState {
    // Names of three alpha channels of the document that the run reads as extra planes.
    std::string channelNames[3];
    bool lrcp = true;   // process flags the batch side reads ('LRCP', 'FwnL')
    bool fwnl = false;
    BatchJob* batchJob = nullptr;  // the batch runner's job ('FbsT'), or none
};
extern ScriptState gScript;

inline constexpr size_t kMaxChannelNameBytes = 255;

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
SPErr AppendListData(DescriptorListRef list, int64_t length, const uint8_t* image);
