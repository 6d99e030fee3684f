// The filter framework's base class: the per-run state of one scheduler instance, the host
// checks, the parameter block's framework header, and the virtual slots through which the
// framework drives a filter.
#pragma once

#include <cstdint>

#include "ErrorCodes.h"
#include "PluginInterface.h"

class File;

class PhotoshopFilter {
public:
    PhotoshopFilter();
    virtual ~PhotoshopFilter();                       // slot 0
    PhotoshopFilter(const PhotoshopFilter&) = delete;
    PhotoshopFilter& operator=(const PhotoshopFilter&) = delete;

    virtual uint32_t GetSignature() const;            // slot 1
    virtual void BeginRun();                          // slot 2
    virtual void DialogFinished(ErrorCode result);    // slot 3
    virtual void EndRun(ErrorCode result);            // slot 4
    virtual void SetupRun() {}                        // slot 5
    virtual void CopySettingsToDialogFile(File* source);  // slot 6
    virtual void ReleaseLayerStates() {}              // slot 7
    virtual void SetDefaultParameters(int flag) {}    // slot 8
    virtual ErrorCode ValidateParameters() { return 0; }  // slot 9
    virtual void Prepare();                           // slot 10
    virtual void BeginPass() {}                       // slot 11
    virtual bool NextTile() { return false; }         // slot 12
    virtual void EndTileSteps() {}                    // slot 13
    virtual bool TileStep(int k) { return false; }    // slot 14
    virtual void ComposeTile() {}                     // slot 15
    virtual intptr_t HandleDialogEvent(intptr_t event) { return event; }  // slot 16
    virtual void InitDialog() {}                      // slot 17
    virtual void CloseDialog() {}                     // slot 18
    virtual void Reserved19() {}                      // slot 19
    virtual void DrawItemOverlay() {}                 // slot 20
    virtual int TrackCursor() { return 0; }           // slot 21
    virtual int Reserved22() { return 0; }            // slot 22
    virtual bool HandleKey() { return false; }        // slot 23
    virtual int HandleCommand() { return 0; }         // slot 24
    virtual void OnDiskInserted() {}                  // slot 25
    virtual bool WarnSelectionRemoved(bool quiet);    // slot 26
    virtual void Reserved27() {}                      // slot 27
    virtual void ScriptedRunHook() {}                 // slot 28
    virtual void ClearRecordInfo() {}                 // slot 29
    virtual bool GetApplyToNewLayer() { return false; }      // slot 30
    virtual bool WantsLayeredOutputA() { return false; }     // slot 31
    virtual bool WantsLayeredOutputB() { return false; }     // slot 32
    virtual bool GetLayeredOutputMode() { return false; }    // slot 33

    // Sizes the host's parameters handle to hold an S-byte block and writes its header.
    void SetParameterBlockSize(int32_t size, bool reset);
    // Before a run: the host must offer what the framework needs (17500 otherwise).
    void CheckHost();
    void DetermineMaskMode();
};

// The framework's header at the start of the parameter block, behind 8 bytes of run-time data.
namespace ParameterHeader {
inline constexpr int kRunTimePrefix = 8;
inline constexpr int kHeaderLength = 12;
inline constexpr int kSettingsOffset = kRunTimePrefix + kHeaderLength;  // 20
}  // namespace ParameterHeader
