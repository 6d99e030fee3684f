// The ids of the preview dialog's resources and the commands its menus send.
#pragma once

#include <cstdint>

// The ids of the preview dialog: its template, items, menu commands and cursors. The dialog and
// the filter's side of it (which answers the commands of the File, Edit, Frames and Window menus)
// both read them here. The Edit menu's shared commands (Undo, Redo, Select All...) are the dialog
// framework's (DialogIds).
namespace PreviewIds {
inline constexpr int16_t kTemplate = 16000;
inline constexpr int16_t kApply = 1;
inline constexpr int16_t kCancel = 2;
inline constexpr int16_t kZoomTool = 3;
inline constexpr int16_t kHandTool = 4;
inline constexpr int16_t kMoveTool = 5;
inline constexpr int16_t kOpenLibrary = 6;
inline constexpr int16_t kLogo = 7;
inline constexpr int16_t kPreview = 8;
inline constexpr int16_t kStatusBar = 9;
inline constexpr int16_t kImageButtons = 7;  // items 1..7

// Commands.
inline constexpr int16_t kCancelClose = 18101;
inline constexpr int16_t kApplyCommand = 18102;
inline constexpr int16_t kZoomIn = 18401;
inline constexpr int16_t kZoomOut = 18402;
inline constexpr int16_t kFitOnPreview = 18403;
inline constexpr int16_t kActualPixels = 18404;
inline constexpr int16_t kCompositeView = 18406;
inline constexpr int16_t kShowRulers = 18408;
inline constexpr int16_t kShowGuides = 18409;
inline constexpr int16_t kClearGuides = 18410;
inline constexpr int16_t kWelcome = 18512;
inline constexpr int16_t kShowLibraryAtStart = 18517;
inline constexpr int16_t kHelp = 18901;
inline constexpr int16_t kTutorials = 18902;
inline constexpr int16_t kHotHelp = 18903;
inline constexpr int16_t kUpdateCheck = 18905;
inline constexpr int16_t kUpdateCheckShort = 5;
inline constexpr int16_t kAbout = 16001;
inline constexpr int16_t kPreferences = 16003;
inline constexpr int16_t kInverseSelection = 18209;
inline constexpr int16_t kDeselect = 18210;
inline constexpr int16_t kResetAll = 18212;
inline constexpr int16_t kBatch = 18103;
inline constexpr int16_t kImportFrame = 18105;
inline constexpr int16_t kSavePreset = 18107;
inline constexpr int16_t kOpenPresetFolder = 18108;
inline constexpr int16_t kAddInstantFrame = 18301;
inline constexpr int16_t kAddRandomFrame = 18302;
inline constexpr int16_t kInvertFrame = 18304;
inline constexpr int16_t kDeleteFrame = 18305;
inline constexpr int16_t kRotateClockwise = 18307;
inline constexpr int16_t kRotateCounterClockwise = 18308;
inline constexpr int16_t kFlipHorizontal = 18309;
inline constexpr int16_t kFlipVertical = 18310;
inline constexpr int16_t kLinkAllFrames = 18312;
inline constexpr int16_t kFirstTabCommand = 18501;  // the Window menu's tabs, 18501..18509
inline constexpr int16_t kOptionTabCommand = 18509;
inline constexpr int16_t kLastTabCommand = kOptionTabCommand;
inline constexpr int16_t kViewFrameLibrary = 18510;

// Tools.
inline constexpr int16_t kNoTool = 0;
inline constexpr int16_t kHand = 1;
inline constexpr int16_t kZoom = 2;
inline constexpr int16_t kMove = 3;

// Cursors of the preview.
inline constexpr int16_t kHandCursor = 17000;
inline constexpr int16_t kZoomInCursor = 17001;
inline constexpr int16_t kZoomOutCursor = 17002;
inline constexpr int16_t kNoZoomCursor = 17003;
}  // namespace PreviewIds
