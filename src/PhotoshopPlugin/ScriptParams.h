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

// The output mode written as 'Rslt', from bytes 28 and 29 of the block.
int32_t OutputModeOf(uint8_t outputOption, uint8_t layeredMode);

// A list item of 'FrpM': length - 4 bytes of a handle image from its byte 4.
SPErr AppendListData(DescriptorListRef list, int64_t length, const uint8_t* image);
