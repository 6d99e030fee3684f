// The filter plug-in interface between a host and a filter plug-in: the filter record handed to
// every call, its callbacks, and the host suites reached through the basic suite.
//
// Every structure here is shared by the plug-in and the stand-in host of this repository and is
// laid out by the compiler for 64-bit Windows. Four-character codes are 32-bit numbers whose first
// character is the most significant byte ('qvxq' as a multi-character literal).
#pragma once

#include <cstdint>

extern "C" {

// ---------------------------------------------------------------------------------------------
// Basic types

using OSErr16 = int16_t;   // the host's 16-bit result codes
using SPErr = int32_t;     // the 32-bit result codes of the suites
using Boolean8 = uint8_t;

// A relocatable host block: the address of a master word that holds the data's address.
using Handle = char**;
// A buffer handed out by the host's buffer procedures; opaque to the plug-in.
using BufferID = struct HostBufferOpaque*;

struct Rect16 {
    int16_t top, left, bottom, right;
};

struct Point16 {
    int16_t v, h;
};

struct Rect32 {
    int32_t top, left, bottom, right;
};

struct Point32 {
    int32_t v, h;
};

// 16.16 fixed point.
using Fixed16 = int32_t;

enum : int16_t {
    kSelectorAbout = 0,
    kSelectorParameters = 1,
    kSelectorPrepare = 2,
    kSelectorStart = 3,
    kSelectorContinue = 4,
    kSelectorFinish = 5,
};

// Image modes as the host reports them.
enum : int16_t {
    kModeBitmap = 0,
    kModeGrayScale = 1,
    kModeIndexedColor = 2,
    kModeRGBColor = 3,
    kModeCMYKColor = 4,
    kModeHSLColor = 5,
    kModeHSBColor = 6,
    kModeMultichannel = 7,
    kModeDuotone = 8,
    kModeLabColor = 9,
    kModeGray16 = 10,
    kModeRGB48 = 11,
    kModeLab48 = 12,
    kModeCMYK64 = 13,
    kModeDeepMultichannel = 14,
    kModeDuotone16 = 15,
};

// Filter cases: what the host is asking the filter to work on.
enum : int16_t {
    kFilterCaseUnsupported = -1,
    kFilterCaseNone = 0,  // a host that does not report filter cases
    kFilterCaseFlatImageNoSelection = 1,
    kFilterCaseFlatImageWithSelection = 2,
    kFilterCaseFloatingSelection = 3,
    kFilterCaseEditableTransparencyNoSelection = 4,
    kFilterCaseEditableTransparencyWithSelection = 5,
    kFilterCaseProtectedTransparencyNoSelection = 6,
    kFilterCaseProtectedTransparencyWithSelection = 7,
};

// ---------------------------------------------------------------------------------------------
// Callbacks of the filter record

using TestAbortProc = Boolean8 (*)();
using ProgressProc = void (*)(int32_t done, int32_t total);
using AdvanceStateProc = OSErr16 (*)();

// A block of pixels handed to displayPixels.
struct PixelMask {
    PixelMask* next;
    void* maskData;
    int32_t rowBytes;
    int32_t colBytes;
    int32_t maskDescription;  // 0 none, 1 a transparency mask, 2 a layer mask
};

struct PixelMap {
    int32_t version;
    Rect32 bounds;        // top, left, bottom, right of the pixels in baseAddr
    int32_t imageMode;
    int32_t rowBytes;
    int32_t colBytes;     // bytes from one pixel to the next
    int32_t planeBytes;   // bytes from one plane to the next
    void* baseAddr;
    PixelMask* masks;
    int32_t maskPhaseRow;
    int32_t maskPhaseCol;
};

// Draws the part srcRect of the pixel map with its top-left corner at (dstRow, dstCol) of the
// device context in platformContext.
using DisplayPixelsProc = OSErr16 (*)(const PixelMap* source, const Rect32* srcRect, int32_t dstRow,
                                      int32_t dstCol, void* platformContext);

// Colour services: conversions between colour spaces and the host's colour picker.
enum : int16_t {
    kServiceChooseColor = 0,
    kServiceConvertColor = 1,
    kServiceSamplePoint = 2,
    kServiceGetSpecialColor = 3,
};

enum : int16_t {
    kSpaceNone = -1,
    kSpaceRGB = 0,
    kSpaceHSB = 1,
    kSpaceCMYK = 2,
    kSpaceLab = 3,
    kSpaceGray = 4,
    kSpaceHSL = 5,
    kSpaceXYZ = 6,
};

struct ColorServicesInfo {
    int32_t infoSize;
    int16_t selector;
    int16_t sourceSpace;
    int16_t resultSpace;
    Boolean8 resultGamutInfoValid;
    Boolean8 resultInGamut;
    void* reservedSourceSpaceInfo;
    void* reservedResultSpaceInfo;
    int16_t colorComponents[4];
    void* reserved;
    union {
        const char* pickerPrompt;
        Point16* globalSamplePoint;
        int32_t specialColorID;
    } selectorParameter;
};

using ColorServicesProc = OSErr16 (*)(ColorServicesInfo* info);

struct BufferProcs {
    int16_t version;
    int16_t numBufferProcs;
    OSErr16 (*allocate)(int32_t size, BufferID* id);
    char* (*lock)(BufferID id, Boolean8 moveHigh);
    void (*unlock)(BufferID id);
    void (*free)(BufferID id);
    int32_t (*space)();
};

struct HandleProcs {
    int16_t version;
    int16_t numHandleProcs;
    Handle (*newHandle)(int32_t size);
    void (*disposeHandle)(Handle h);
    int32_t (*getSize)(Handle h);
    OSErr16 (*setSize)(Handle h, int32_t newSize);
    char* (*lock)(Handle h, Boolean8 moveHigh);
    void (*unlock)(Handle h);
    void (*recoverSpace)(int32_t size);
    void (*disposeRegularHandle)(Handle h);
};

// Host properties: simple ones come back as a number, complex ones as a handle the caller owns.
struct PropertyProcs {
    int16_t version;
    int16_t numPropertyProcs;
    OSErr16 (*getProperty)(uint32_t signature, uint32_t key, int32_t index, intptr_t* simpleProperty,
                           Handle* complexProperty);
    OSErr16 (*setProperty)(uint32_t signature, uint32_t key, int32_t index, intptr_t simpleProperty,
                           Handle complexProperty);
};

struct ResourceProcs {
    int16_t version;
    int16_t numResourceProcs;
    int16_t (*count)(uint32_t type);
    Handle (*get)(uint32_t type, int16_t index);
    void (*remove)(uint32_t type, int16_t index);
    OSErr16 (*add)(uint32_t type, Handle data);
};

// The scripting parameters of a call: how the host plays the step and the descriptor it carries.
enum : int16_t {
    kPlayDontDisplay = 0,
    kPlayDisplay = 1,
    kPlaySilent = 2,
};

struct DescriptorParameters {
    int16_t descriptorParametersVersion;
    int16_t playInfo;
    int16_t recordInfo;
    Handle descriptor;  // a flattened descriptor, or null
};

// ---------------------------------------------------------------------------------------------
// Channel ports and document information (the host's layers and channels)

using ChannelReadPort = struct ChannelPortOpaque*;
using ChannelWritePort = struct ChannelPortOpaque*;

struct ReadChannelDesc {
    int32_t minVersion;
    int32_t maxVersion;
    ReadChannelDesc* next;
    ChannelReadPort port;
    Rect32 bounds;
    int32_t target;
    int32_t shared;
    int32_t depth;
    int32_t tileSize;  // square tiles of this many pixels a side
    int32_t channelType;
    const char* name;  // UTF-8
    ChannelWritePort writePort;
};

// What part of a channel a read takes (sourceRect, in the channel's pixels) and the size it is
// scaled to (destinationRect).
struct PSScaling {
    Rect32 sourceRect;
    Rect32 destinationRect;
};

// Memory a channel read writes into: samples of depth bits, colBits apart within a row and
// rowBits from one row to the next, starting bitOffset bits into data.
struct PixelMemoryDesc {
    void* data;
    int32_t rowBits;
    int32_t colBits;
    int32_t bitOffset;
    int32_t depth;
};

// Reading and writing the document's channels. readPixels fills the destination rectangle of the
// scaling from the port's channel (16-bit samples in 0..65535 for channels of version 2 or less)
// and reports in wroteRect the part it wrote: the rest lies outside the channel's pixels.
struct ChannelPortProcs {
    int16_t version;
    int16_t numChannelPortProcs;
    OSErr16 (*readPixels)(ChannelReadPort port, const PSScaling* scaling, const Rect32* writeLimit,
                          const PixelMemoryDesc* destination, Rect32* wroteRect);
    OSErr16 (*writeBasePixels)(ChannelWritePort port, const Rect32* writeRect, const PixelMemoryDesc* source);
    OSErr16 (*readPortForWritePort)(ChannelReadPort* readPort, ChannelWritePort writePort);
};

struct ReadLayerDesc {
    int32_t minVersion;
    int32_t maxVersion;
    ReadLayerDesc* next;
    ReadChannelDesc* compositeChannelsList;
    ReadChannelDesc* transparency;
    ReadChannelDesc* layerMask;
    const char* name;
};

struct ReadImageDocumentDesc {
    int32_t minVersion;
    int32_t maxVersion;
    int32_t imageMode;
    int32_t depth;
    Rect32 bounds;
    Fixed16 hResolution;
    Fixed16 vResolution;
    uint8_t redLUT[256];
    uint8_t greenLUT[256];
    uint8_t blueLUT[256];
    ReadChannelDesc* targetCompositeChannels;
    ReadChannelDesc* targetTransparency;
    ReadChannelDesc* targetLayerMask;
    ReadChannelDesc* mergedCompositeChannels;
    ReadChannelDesc* mergedTransparency;
    ReadChannelDesc* alphaChannels;
    ReadChannelDesc* selection;
    ReadLayerDesc* layersDescriptor;
    int32_t layerCount;
    int32_t targetLayerIndex;
};

// ---------------------------------------------------------------------------------------------
// The basic suite: the door to every other suite

struct BasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
    Boolean8 (*IsEqual)(const char* token1, const char* token2);
    SPErr (*AllocateBlock)(size_t size, void** block);
    SPErr (*FreeBlock)(void* block);
    SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
    SPErr (*Undefined)();
};

// ---------------------------------------------------------------------------------------------
// The filter record

struct PlatformData {
    intptr_t hwnd;  // the host's main window
};

struct FilterRecord {
    int32_t serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;  // the plug-in's parameter block, kept by the host between calls

    Point16 imageSize;   // width in h, height in v
    int16_t planes;
    Rect16 filterRect;   // the area to filter: the selection's bounds or the whole image

    uint8_t background[4];  // colour components in the image mode, 8 bits each
    uint8_t foreground[4];

    int32_t maxSpace;
    int32_t bufferSpace;  // set by the plug-in at prepare: the buffer memory it wants to keep free

    Rect16 inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    Rect16 outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;

    void* inData;
    int32_t inRowBytes;
    void* outData;
    int32_t outRowBytes;

    Boolean8 isFloating;
    Boolean8 haveMask;
    Boolean8 autoMask;

    Rect16 maskRect;
    void* maskData;
    int32_t maskRowBytes;

    uint8_t backColor[4];  // colours in the image mode
    uint8_t foreColor[4];

    uint32_t hostSig;
    void* hostProc;

    int16_t imageMode;
    Fixed16 imageHRes;
    Fixed16 imageVRes;

    Point16 floatCoord;  // top-left corner of a floating selection in the document
    Point16 wholeSize;   // the size of the whole document when the selection floats

    void* monitor;
    PlatformData* platformData;

    BufferProcs* bufferProcs;
    ResourceProcs* resourceProcs;
    void* processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;

    Boolean8 supportsDummyChannels;
    Boolean8 supportsAlternateLayouts;
    int16_t wantLayout;
    int16_t filterCase;
    int16_t dummyPlaneValue;
    void* premiereHook;

    AdvanceStateProc advanceState;

    Boolean8 supportsAbsolute;
    Boolean8 wantsAbsolute;
    void* getPropertyObsolete;
    Boolean8 cannotUndo;
    Boolean8 supportsPadding;
    int16_t inputPadding;
    int16_t outputPadding;
    int16_t maskPadding;
    uint8_t samplingSupport;
    Fixed16 inputRate;  // 16.16: source pixels per output pixel of inData
    Fixed16 maskRate;

    ColorServicesProc colorServices;

    int16_t inLayerPlanes;
    int16_t inTransparencyMask;
    int16_t inLayerMasks;
    int16_t inInvertedLayerMasks;
    int16_t inNonLayerPlanes;
    int16_t outLayerPlanes;
    int16_t outTransparencyMask;
    int16_t outLayerMasks;
    int16_t outInvertedLayerMasks;
    int16_t outNonLayerPlanes;
    int16_t absLayerPlanes;
    int16_t absTransparencyMask;
    int16_t absLayerMasks;
    int16_t absInvertedLayerMasks;
    int16_t absNonLayerPlanes;
    int16_t inPreDummyPlanes;
    int16_t inPostDummyPlanes;
    int16_t outPreDummyPlanes;
    int16_t outPostDummyPlanes;

    int32_t inColumnBytes;
    int32_t inPlaneBytes;
    int32_t outColumnBytes;
    int32_t outPlaneBytes;

    PropertyProcs* propertyProcs;
    struct ChannelPortProcs* channelPortProcs;
    ReadImageDocumentDesc* documentInfo;
    DescriptorParameters* descriptorParameters;
    const char* errorString;
    BasicSuite* sSPBasic;
    void* plugInRef;
    int32_t depth;  // bits per sample
    int16_t tileHeight;  // the host's preferred tile size; 0 when it has none
    int16_t tileWidth;
};

// The plug-in's one export.
using PluginEntryProc = void (*)(int16_t selector, FilterRecord* record, intptr_t* data, int16_t* result);

}  // extern "C"
