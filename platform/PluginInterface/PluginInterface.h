// The filter plug-in interface between a host and a filter plug-in: the records handed to every
// call, their callbacks and procedure tables, and the document and channel descriptions.
//
// Every structure here crosses between two separately built binaries, so it is laid out exactly as
// hosts lay it out on 64-bit Windows, and every offset the code relies on is pinned by a
// static_assert below its structure. Only the filter record is packed to four bytes; everything
// else has the compiler's natural alignment. Four-character codes are 32-bit numbers whose first
// character is the most significant byte ('8BIM' == 0x3842494D), stored little-endian like any
// other number.
//
// A host may leave any pointer, procedure table or procedure empty, and tables carry a version
// and a count: callers test each before use (see HasProc below).
#pragma once

#include <cstddef>
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

// A Pascal string: a length byte, then up to 255 bytes of text.
using Str255 = unsigned char[256];

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

// A colour of the host's colour pickers: three 16-bit components. Hosts disagree on the scale
// (0..65535, or the 8-bit value as it stands): readers take the high byte only when a component
// exceeds 255.
struct RGBColor16 {
    uint16_t red, green, blue;
};

// A colour in the document's own mode: one byte for each component (RGB: red, green, blue, unused).
using FilterColor = uint8_t[4];

static_assert(sizeof(Rect16) == 8 && sizeof(Point16) == 4 && sizeof(Rect32) == 16 && sizeof(Point32) == 8);
static_assert(sizeof(RGBColor16) == 6 && alignof(RGBColor16) == 2);
static_assert(sizeof(Str255) == 256);

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

// Padding values of inputPadding, outputPadding and maskPadding besides a fill value 0..255.
enum : int16_t {
    kPaddingEdgeReplicate = -1,
    kPaddingNone = -2,
    kPaddingError = -3,
};

// ---------------------------------------------------------------------------------------------
// Callbacks of the filter record

using TestAbortProc = Boolean8 (*)();
using ProgressProc = void (*)(int32_t done, int32_t total);
using AdvanceStateProc = OSErr16 (*)();
using HostProc = void (*)(int16_t selector, intptr_t* data);
using ProcessEventProc = void (*)(void* event);

// A mask laid over a pixel map handed to displayPixels.
enum : int32_t {
    kMaskDescriptionSimple = 0,  // the mask is the pixels' opacity
    kMaskDescriptionBlackMatte = 1,
    kMaskDescriptionGrayMatte = 2,
    kMaskDescriptionWhiteMatte = 3,
    kMaskDescriptionInvert = 4,
};

struct PixelMask {
    PixelMask* next;
    void* maskData;
    int32_t rowBytes;
    int32_t colBytes;
    int32_t maskDescription;
};
static_assert(sizeof(PixelMask) == 32);
static_assert(offsetof(PixelMask, maskData) == 8 && offsetof(PixelMask, rowBytes) == 16);
static_assert(offsetof(PixelMask, colBytes) == 20 && offsetof(PixelMask, maskDescription) == 24);

// Pixel maps of version 1 carry the mat and the masks.
constexpr int32_t kPixelMapVersionWithMasks = 1;

struct PixelMap {
    int32_t version;
    Rect32 bounds;        // top, left, bottom, right of the pixels in baseAddr
    int32_t imageMode;
    int32_t rowBytes;
    int32_t colBytes;     // bytes from one pixel to the next
    int32_t planeBytes;   // bytes from one plane to the next
    void* baseAddr;
    PixelMask* mat;       // version 1: a matte the pixels were composed over, or none
    PixelMask* masks;     // version 1: opacity masks
    int32_t maskPhaseRow;
    int32_t maskPhaseCol;
};
static_assert(sizeof(PixelMap) == 72);
static_assert(offsetof(PixelMap, bounds) == 4 && offsetof(PixelMap, imageMode) == 20);
static_assert(offsetof(PixelMap, rowBytes) == 24 && offsetof(PixelMap, colBytes) == 28);
static_assert(offsetof(PixelMap, planeBytes) == 32 && offsetof(PixelMap, baseAddr) == 40);
static_assert(offsetof(PixelMap, mat) == 48 && offsetof(PixelMap, masks) == 56);
static_assert(offsetof(PixelMap, maskPhaseRow) == 64 && offsetof(PixelMap, maskPhaseCol) == 68);

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
    kSpaceNone = -1,  // also "the space the user chose" as the result space of kServiceChooseColor
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
        const unsigned char* pickerPrompt;  // a Pascal string, or none
        Point16* globalSamplePoint;
        int32_t specialColorID;
    } selectorParameter;
};
static_assert(sizeof(ColorServicesInfo) == 56);
static_assert(offsetof(ColorServicesInfo, selector) == 4 && offsetof(ColorServicesInfo, sourceSpace) == 6);
static_assert(offsetof(ColorServicesInfo, resultSpace) == 8 && offsetof(ColorServicesInfo, resultGamutInfoValid) == 10);
static_assert(offsetof(ColorServicesInfo, reservedSourceSpaceInfo) == 16);
static_assert(offsetof(ColorServicesInfo, colorComponents) == 32 && offsetof(ColorServicesInfo, reserved) == 40);
static_assert(offsetof(ColorServicesInfo, selectorParameter) == 48);

using ColorServicesProc = OSErr16 (*)(ColorServicesInfo* info);

// ---------------------------------------------------------------------------------------------
// Procedure tables of the filter record. Each starts with its version and the number of
// procedures the host filled in; a procedure at or beyond that count must not be called.

struct BufferProcs {
    int16_t version;
    int16_t numBufferProcs;
    OSErr16 (*allocate)(int32_t size, BufferID* id);
    char* (*lock)(BufferID id, Boolean8 moveHigh);
    void (*unlock)(BufferID id);
    void (*free)(BufferID id);
    int32_t (*space)();
};
static_assert(sizeof(BufferProcs) == 48 && offsetof(BufferProcs, allocate) == 8 && offsetof(BufferProcs, space) == 40);

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
static_assert(sizeof(HandleProcs) == 72 && offsetof(HandleProcs, newHandle) == 8);
static_assert(offsetof(HandleProcs, setSize) == 32 && offsetof(HandleProcs, disposeRegularHandle) == 64);

// Host properties: simple ones come back as a pointer-sized number, complex ones as a handle the
// caller owns. Some hosts answer success without writing: callers clear the out values first.
struct PropertyProcs {
    int16_t version;
    int16_t numPropertyProcs;
    OSErr16 (*getProperty)(uint32_t signature, uint32_t key, int32_t index, intptr_t* simpleProperty,
                           Handle* complexProperty);
    OSErr16 (*setProperty)(uint32_t signature, uint32_t key, int32_t index, intptr_t simpleProperty,
                           Handle complexProperty);
};
static_assert(sizeof(PropertyProcs) == 24 && offsetof(PropertyProcs, getProperty) == 8);
static_assert(offsetof(PropertyProcs, setProperty) == 16);

struct ResourceProcs {
    int16_t version;
    int16_t numResourceProcs;
    int16_t (*count)(uint32_t type);
    Handle (*get)(uint32_t type, int16_t index);
    void (*remove)(uint32_t type, int16_t index);
    OSErr16 (*add)(uint32_t type, Handle data);
};
static_assert(sizeof(ResourceProcs) == 40 && offsetof(ResourceProcs, count) == 8 && offsetof(ResourceProcs, add) == 32);

// A plane of pixels for the image services' interpolation.
struct PSImagePlane {
    void* data;
    Rect16 bounds;
    int32_t rowBytes;
    int32_t colBytes;
};
static_assert(sizeof(PSImagePlane) == 24 && offsetof(PSImagePlane, bounds) == 8 && offsetof(PSImagePlane, rowBytes) == 16);

struct ImageServicesProcs {
    int16_t version;
    int16_t numImageServicesProcs;
    OSErr16 (*interpolate1D)(PSImagePlane* source, PSImagePlane* destination, Rect16* area, Fixed16* coords,
                             int16_t method);
    OSErr16 (*interpolate2D)(PSImagePlane* source, PSImagePlane* destination, Rect16* area, Fixed16* coords,
                             int16_t method);
};
static_assert(sizeof(ImageServicesProcs) == 24 && offsetof(ImageServicesProcs, interpolate2D) == 16);

// ---------------------------------------------------------------------------------------------
// Scripting: the descriptor parameters of the record and their reading and writing procedures

// How the host plays the step.
enum : int16_t {
    kPlayDontDisplay = 0,
    kPlayDisplay = 1,
    kPlaySilent = 2,
};

using PIReadDescriptor = struct ReadDescriptorOpaque*;
using PIWriteDescriptor = struct WriteDescriptorOpaque*;

// A reference to an object of the host's scripting model.
struct SimpleReference {
    uint32_t desiredClass;
    uint32_t keyForm;
    struct {
        Str255 name;
        int32_t index;
        uint32_t type;
        uint32_t value;
    } keyData;
};
static_assert(sizeof(SimpleReference) == 276 && offsetof(SimpleReference, keyData) == 8);

struct ReadDescriptorProcs {
    int16_t readDescriptorProcsVersion;
    int16_t numReadDescriptorProcs;
    PIReadDescriptor (*openReadDescriptor)(Handle descriptor, const uint32_t* keys);
    OSErr16 (*closeReadDescriptor)(PIReadDescriptor token);
    Boolean8 (*getKey)(PIReadDescriptor token, uint32_t* key, uint32_t* type, int32_t* flags);
    OSErr16 (*getInteger)(PIReadDescriptor token, int32_t* value);
    OSErr16 (*getFloat)(PIReadDescriptor token, double* value);
    OSErr16 (*getUnitFloat)(PIReadDescriptor token, uint32_t* unit, double* value);
    OSErr16 (*getBoolean)(PIReadDescriptor token, Boolean8* value);
    OSErr16 (*getText)(PIReadDescriptor token, Handle* value);
    OSErr16 (*getAlias)(PIReadDescriptor token, Handle* value);
    OSErr16 (*getEnumerated)(PIReadDescriptor token, uint32_t* value);
    OSErr16 (*getClass)(PIReadDescriptor token, uint32_t* value);
    OSErr16 (*getSimpleReference)(PIReadDescriptor token, SimpleReference* value);
    OSErr16 (*getObject)(PIReadDescriptor token, uint32_t* type, Handle* value);
    OSErr16 (*getCount)(PIReadDescriptor token, uint32_t* value);
    OSErr16 (*getString)(PIReadDescriptor token, Str255 value);
    OSErr16 (*getPinnedInteger)(PIReadDescriptor token, int32_t min, int32_t max, int32_t* value);
    OSErr16 (*getPinnedFloat)(PIReadDescriptor token, const double* min, const double* max, double* value);
    OSErr16 (*getPinnedUnitFloat)(PIReadDescriptor token, const double* min, const double* max, uint32_t* unit,
                                  double* value);
};
static_assert(sizeof(ReadDescriptorProcs) == 152 && offsetof(ReadDescriptorProcs, openReadDescriptor) == 8);
static_assert(offsetof(ReadDescriptorProcs, getString) == 120 && offsetof(ReadDescriptorProcs, getPinnedUnitFloat) == 144);

struct WriteDescriptorProcs {
    int16_t writeDescriptorProcsVersion;
    int16_t numWriteDescriptorProcs;
    PIWriteDescriptor (*openWriteDescriptor)();
    OSErr16 (*closeWriteDescriptor)(PIWriteDescriptor token, Handle* descriptor);
    OSErr16 (*putInteger)(PIWriteDescriptor token, uint32_t key, int32_t value);
    OSErr16 (*putFloat)(PIWriteDescriptor token, uint32_t key, const double* value);
    OSErr16 (*putUnitFloat)(PIWriteDescriptor token, uint32_t key, uint32_t unit, const double* value);
    OSErr16 (*putBoolean)(PIWriteDescriptor token, uint32_t key, Boolean8 value);
    OSErr16 (*putText)(PIWriteDescriptor token, uint32_t key, Handle value);
    OSErr16 (*putAlias)(PIWriteDescriptor token, uint32_t key, Handle value);
    OSErr16 (*putEnumerated)(PIWriteDescriptor token, uint32_t key, uint32_t type, uint32_t value);
    OSErr16 (*putClass)(PIWriteDescriptor token, uint32_t key, uint32_t type);
    OSErr16 (*putSimpleReference)(PIWriteDescriptor token, uint32_t key, const SimpleReference* value);
    OSErr16 (*putObject)(PIWriteDescriptor token, uint32_t key, uint32_t type, Handle value);
    OSErr16 (*putCount)(PIWriteDescriptor token, uint32_t key, uint32_t value);
    OSErr16 (*putString)(PIWriteDescriptor token, uint32_t key, const unsigned char* value);
    OSErr16 (*putScopedClass)(PIWriteDescriptor token, uint32_t key, uint32_t type);
    OSErr16 (*putScopedObject)(PIWriteDescriptor token, uint32_t key, uint32_t type, Handle value);
};
static_assert(sizeof(WriteDescriptorProcs) == 136 && offsetof(WriteDescriptorProcs, putInteger) == 24);
static_assert(offsetof(WriteDescriptorProcs, putScopedObject) == 128);

struct DescriptorParameters {
    int16_t descriptorParametersVersion;
    int16_t playInfo;
    int16_t recordInfo;
    Handle descriptor;  // a flattened descriptor, or null
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};
static_assert(sizeof(DescriptorParameters) == 32 && offsetof(DescriptorParameters, playInfo) == 2);
static_assert(offsetof(DescriptorParameters, recordInfo) == 4 && offsetof(DescriptorParameters, descriptor) == 8);
static_assert(offsetof(DescriptorParameters, writeDescriptorProcs) == 16);
static_assert(offsetof(DescriptorParameters, readDescriptorProcs) == 24);

// ---------------------------------------------------------------------------------------------
// Channel ports and document information (the host's layers and channels)

using ChannelReadPort = struct ChannelPortOpaque*;
using ChannelWritePort = struct ChannelPortOpaque*;

// Channel types of a channel description.
enum : int16_t {
    kChannelUnspecified = 0,
    kChannelRed = 1,
    kChannelGreen = 2,
    kChannelBlue = 3,
    kChannelCyan = 4,
    kChannelMagenta = 5,
    kChannelYellow = 6,
    kChannelBlack = 7,
    kChannelTransparency = 16,
    kChannelLayerMask = 17,
    kChannelInvertedLayerMask = 18,
    kChannelSelectionMask = 19,
};

struct ReadChannelDesc {
    int32_t minVersion;
    int32_t maxVersion;
    ReadChannelDesc* next;
    ChannelReadPort port;
    Rect32 bounds;
    int32_t depth;
    Point32 tileSize;
    Point32 tileOrigin;
    Boolean8 target;
    Boolean8 shown;
    int16_t channelType;
    void* contextInfo;
    const char* name;
};
static_assert(sizeof(ReadChannelDesc) == 80);
static_assert(offsetof(ReadChannelDesc, next) == 8 && offsetof(ReadChannelDesc, port) == 16);
static_assert(offsetof(ReadChannelDesc, bounds) == 24 && offsetof(ReadChannelDesc, depth) == 40);
static_assert(offsetof(ReadChannelDesc, tileSize) == 44 && offsetof(ReadChannelDesc, tileOrigin) == 52);
static_assert(offsetof(ReadChannelDesc, target) == 60 && offsetof(ReadChannelDesc, shown) == 61);
static_assert(offsetof(ReadChannelDesc, channelType) == 62 && offsetof(ReadChannelDesc, contextInfo) == 64);
static_assert(offsetof(ReadChannelDesc, name) == 72);

// Channel descriptions of version 1 carry a write port after the name. Nothing may read it from a
// description whose maxVersion is below that: the host allocated only the version-0 record.
constexpr int32_t kChannelDescVersionWithWritePort = 1;
struct ReadChannelDescWritable {
    ReadChannelDesc channel;
    ChannelWritePort writePort;
};
static_assert(offsetof(ReadChannelDescWritable, writePort) == 80);

// The channel's write port, or none when the description is too old to carry one.
inline ChannelWritePort WritePortOf(const ReadChannelDesc& channel) {
    if (channel.maxVersion < kChannelDescVersionWithWritePort) return nullptr;
    return reinterpret_cast<const ReadChannelDescWritable&>(channel).writePort;
}

// What part of a channel a read takes (sourceRect, in the channel's pixels) and the size it is
// scaled to (destinationRect).
struct PSScaling {
    Rect32 sourceRect;
    Rect32 destinationRect;
};
static_assert(sizeof(PSScaling) == 32);

// Memory a channel read writes into: samples of depth bits, colBits apart within a row and
// rowBits from one row to the next, starting bitOffset bits into data.
struct PixelMemoryDesc {
    void* data;
    int32_t rowBits;
    int32_t colBits;
    int32_t bitOffset;
    int32_t depth;
};
static_assert(sizeof(PixelMemoryDesc) == 24 && offsetof(PixelMemoryDesc, rowBits) == 8);
static_assert(offsetof(PixelMemoryDesc, depth) == 20);

// Reading and writing the document's channels. readPixels fills the destination rectangle of the
// scaling from the port's channel and reports in wroteRect the part it wrote: the rest lies
// outside the channel's pixels.
struct ChannelPortProcs {
    int16_t version;
    int16_t numChannelPortProcs;
    OSErr16 (*readPixels)(ChannelReadPort port, const PSScaling* scaling, const Rect32* writeLimit,
                          const PixelMemoryDesc* destination, Rect32* wroteRect);
    OSErr16 (*writeBasePixels)(ChannelWritePort port, const Rect32* writeRect, const PixelMemoryDesc* source);
    OSErr16 (*readPortForWritePort)(ChannelReadPort* readPort, ChannelWritePort writePort);
};
static_assert(sizeof(ChannelPortProcs) == 32 && offsetof(ChannelPortProcs, readPixels) == 8);
static_assert(offsetof(ChannelPortProcs, readPortForWritePort) == 24);

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
};
static_assert(sizeof(ReadImageDocumentDesc) == 864);
static_assert(offsetof(ReadImageDocumentDesc, imageMode) == 8 && offsetof(ReadImageDocumentDesc, bounds) == 16);
static_assert(offsetof(ReadImageDocumentDesc, hResolution) == 32 && offsetof(ReadImageDocumentDesc, redLUT) == 40);
static_assert(offsetof(ReadImageDocumentDesc, targetCompositeChannels) == 808);
static_assert(offsetof(ReadImageDocumentDesc, targetTransparency) == 816);
static_assert(offsetof(ReadImageDocumentDesc, mergedCompositeChannels) == 832);
static_assert(offsetof(ReadImageDocumentDesc, alphaChannels) == 848 && offsetof(ReadImageDocumentDesc, selection) == 856);

// One layer of a document's layer list: its colour channels, transparency and mask.
struct ReadLayerDesc {
    int32_t minVersion;
    int32_t maxVersion;
    ReadLayerDesc* next;
    ReadChannelDesc* compositeChannelsList;
    ReadChannelDesc* transparency;
    ReadChannelDesc* layerMask;
    const char* name;
};

// Document descriptions of version 2 carry the layer list after the selection. Nothing may read
// it from an older description: the host allocated only the version-0 record.
constexpr int32_t kDocumentDescVersionWithLayers = 2;
struct ReadImageDocumentDescLayered {
    ReadImageDocumentDesc document;
    ReadLayerDesc* layersDescriptor;  // bottom layer first
    ReadImageDocumentDesc* next;
};
static_assert(offsetof(ReadImageDocumentDescLayered, layersDescriptor) == 864);

// The document's layer list, or none when the description is too old to carry one.
inline const ReadLayerDesc* LayersOf(const ReadImageDocumentDesc& document) {
    if (document.maxVersion < kDocumentDescVersionWithLayers) return nullptr;
    return reinterpret_cast<const ReadImageDocumentDescLayered&>(document).layersDescriptor;
}

// ---------------------------------------------------------------------------------------------
// The basic suite: the door to every other suite

struct BasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
    int32_t (*IsEqual)(const char* token1, const char* token2);
    SPErr (*AllocateBlock)(size_t size, void** block);
    SPErr (*FreeBlock)(void* block);
    SPErr (*ReallocateBlock)(void* block, size_t newSize, void** newblock);
    SPErr (*Undefined)();
};
static_assert(sizeof(BasicSuite) == 56 && offsetof(BasicSuite, IsEqual) == 16 && offsetof(BasicSuite, Undefined) == 48);

// ---------------------------------------------------------------------------------------------
// The records of a call

struct PlatformData {
    intptr_t hwnd;  // the host's main window
};
static_assert(sizeof(PlatformData) == 8);

// The monitor's gamma and chromaticities; hosts leave it zero.
struct PlugInMonitor {
    Fixed16 gamma;
    Fixed16 redX, redY;
    Fixed16 greenX, greenY;
    Fixed16 blueX, blueY;
    Fixed16 whiteX, whiteY;
    Fixed16 ambient;
};
static_assert(sizeof(PlugInMonitor) == 40);

// The record of the about selector.
struct AboutRecord {
    PlatformData* platformData;
    BasicSuite* sSPBasic;
    void* plugInRef;
    uint8_t reserved[244];
};
static_assert(sizeof(AboutRecord) == 272);
static_assert(offsetof(AboutRecord, sSPBasic) == 8 && offsetof(AboutRecord, plugInRef) == 16);

// The record of every other selector. Packed to four bytes: a pointer that follows a 32-bit field
// sits right behind it.
#pragma pack(push, 4)
struct FilterRecord {
    int32_t serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;  // the plug-in's parameter block, kept by the host between calls

    Point16 imageSize;   // width in h, height in v
    int16_t planes;
    Rect16 filterRect;   // the area to filter: the selection's bounds or the whole image

    RGBColor16 background;  // the host's colours
    RGBColor16 foreground;

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

    FilterColor backColor;  // the same colours in the image mode
    FilterColor foreColor;

    uint32_t hostSig;
    HostProc hostProc;

    int16_t imageMode;
    Fixed16 imageHRes;
    Fixed16 imageVRes;

    Point16 floatCoord;  // top-left corner of a floating selection in the document
    Point16 wholeSize;   // the size of the whole document when the selection floats

    PlugInMonitor monitor;
    PlatformData* platformData;

    BufferProcs* bufferProcs;
    ResourceProcs* resourceProcs;
    ProcessEventProc processEvent;
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
    uint8_t reservedByte;
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

    ImageServicesProcs* imageServicesProcs;
    PropertyProcs* propertyProcs;

    // The host's tiles: requests aligned to them are served fastest. Zero when the host has none.
    int16_t inTileHeight;
    int16_t inTileWidth;
    Point16 inTileOrigin;
    int16_t absTileHeight;
    int16_t absTileWidth;
    Point16 absTileOrigin;
    int16_t outTileHeight;
    int16_t outTileWidth;
    Point16 outTileOrigin;
    int16_t maskTileHeight;
    int16_t maskTileWidth;
    Point16 maskTileOrigin;

    DescriptorParameters* descriptorParameters;
    Str255* errorString;  // the host's buffer for the text of a kErrReportString result
    ChannelPortProcs* channelPortProcs;
    ReadImageDocumentDesc* documentInfo;
    BasicSuite* sSPBasic;
    void* plugInRef;
    int32_t depth;  // bits per sample
    Handle iCCprofileData;
    int32_t iCCprofileSize;
    int32_t canUseICCProfiles;
    int32_t hasImageScrap;
    void* bigDocumentData;
    uint8_t reserved[44];  // zero; newer hosts add fields here
};
#pragma pack(pop)

static_assert(sizeof(FilterRecord) == 556, "hosts allocate the 556-byte record");
static_assert(alignof(FilterRecord) == 4);
static_assert(offsetof(FilterRecord, abortProc) == 4 && offsetof(FilterRecord, progressProc) == 12);
static_assert(offsetof(FilterRecord, parameters) == 20 && offsetof(FilterRecord, imageSize) == 28);
static_assert(offsetof(FilterRecord, planes) == 32 && offsetof(FilterRecord, filterRect) == 34);
static_assert(offsetof(FilterRecord, background) == 42 && offsetof(FilterRecord, foreground) == 48);
static_assert(offsetof(FilterRecord, maxSpace) == 56 && offsetof(FilterRecord, bufferSpace) == 60);
static_assert(offsetof(FilterRecord, inRect) == 64 && offsetof(FilterRecord, inLoPlane) == 72);
static_assert(offsetof(FilterRecord, inHiPlane) == 74 && offsetof(FilterRecord, outRect) == 76);
static_assert(offsetof(FilterRecord, outLoPlane) == 84 && offsetof(FilterRecord, outHiPlane) == 86);
static_assert(offsetof(FilterRecord, inData) == 88 && offsetof(FilterRecord, inRowBytes) == 96);
static_assert(offsetof(FilterRecord, outData) == 100 && offsetof(FilterRecord, outRowBytes) == 108);
static_assert(offsetof(FilterRecord, isFloating) == 112 && offsetof(FilterRecord, haveMask) == 113);
static_assert(offsetof(FilterRecord, autoMask) == 114 && offsetof(FilterRecord, maskRect) == 116);
static_assert(offsetof(FilterRecord, maskData) == 124 && offsetof(FilterRecord, maskRowBytes) == 132);
static_assert(offsetof(FilterRecord, backColor) == 136 && offsetof(FilterRecord, foreColor) == 140);
static_assert(offsetof(FilterRecord, hostSig) == 144 && offsetof(FilterRecord, hostProc) == 148);
static_assert(offsetof(FilterRecord, imageMode) == 156 && offsetof(FilterRecord, imageHRes) == 160);
static_assert(offsetof(FilterRecord, imageVRes) == 164 && offsetof(FilterRecord, floatCoord) == 168);
static_assert(offsetof(FilterRecord, wholeSize) == 172 && offsetof(FilterRecord, monitor) == 176);
static_assert(offsetof(FilterRecord, platformData) == 216 && offsetof(FilterRecord, bufferProcs) == 224);
static_assert(offsetof(FilterRecord, resourceProcs) == 232 && offsetof(FilterRecord, processEvent) == 240);
static_assert(offsetof(FilterRecord, displayPixels) == 248 && offsetof(FilterRecord, handleProcs) == 256);
static_assert(offsetof(FilterRecord, supportsDummyChannels) == 264 && offsetof(FilterRecord, wantLayout) == 266);
static_assert(offsetof(FilterRecord, filterCase) == 268 && offsetof(FilterRecord, dummyPlaneValue) == 270);
static_assert(offsetof(FilterRecord, premiereHook) == 272 && offsetof(FilterRecord, advanceState) == 280);
static_assert(offsetof(FilterRecord, supportsAbsolute) == 288 && offsetof(FilterRecord, wantsAbsolute) == 289);
static_assert(offsetof(FilterRecord, getPropertyObsolete) == 292 && offsetof(FilterRecord, cannotUndo) == 300);
static_assert(offsetof(FilterRecord, supportsPadding) == 301 && offsetof(FilterRecord, inputPadding) == 302);
static_assert(offsetof(FilterRecord, outputPadding) == 304 && offsetof(FilterRecord, maskPadding) == 306);
static_assert(offsetof(FilterRecord, samplingSupport) == 308 && offsetof(FilterRecord, inputRate) == 312);
static_assert(offsetof(FilterRecord, maskRate) == 316 && offsetof(FilterRecord, colorServices) == 320);
static_assert(offsetof(FilterRecord, inLayerPlanes) == 328 && offsetof(FilterRecord, inTransparencyMask) == 330);
static_assert(offsetof(FilterRecord, inLayerMasks) == 332 && offsetof(FilterRecord, inNonLayerPlanes) == 336);
static_assert(offsetof(FilterRecord, outLayerPlanes) == 338 && offsetof(FilterRecord, outTransparencyMask) == 340);
static_assert(offsetof(FilterRecord, outLayerMasks) == 342 && offsetof(FilterRecord, outNonLayerPlanes) == 346);
static_assert(offsetof(FilterRecord, absLayerPlanes) == 348 && offsetof(FilterRecord, absNonLayerPlanes) == 356);
static_assert(offsetof(FilterRecord, inPreDummyPlanes) == 358 && offsetof(FilterRecord, outPostDummyPlanes) == 364);
static_assert(offsetof(FilterRecord, inColumnBytes) == 368 && offsetof(FilterRecord, inPlaneBytes) == 372);
static_assert(offsetof(FilterRecord, outColumnBytes) == 376 && offsetof(FilterRecord, outPlaneBytes) == 380);
static_assert(offsetof(FilterRecord, imageServicesProcs) == 384 && offsetof(FilterRecord, propertyProcs) == 392);
static_assert(offsetof(FilterRecord, inTileHeight) == 400 && offsetof(FilterRecord, inTileWidth) == 402);
static_assert(offsetof(FilterRecord, inTileOrigin) == 404 && offsetof(FilterRecord, absTileHeight) == 408);
static_assert(offsetof(FilterRecord, outTileHeight) == 416 && offsetof(FilterRecord, maskTileHeight) == 424);
static_assert(offsetof(FilterRecord, maskTileOrigin) == 428);
static_assert(offsetof(FilterRecord, descriptorParameters) == 432 && offsetof(FilterRecord, errorString) == 440);
static_assert(offsetof(FilterRecord, channelPortProcs) == 448 && offsetof(FilterRecord, documentInfo) == 456);
static_assert(offsetof(FilterRecord, sSPBasic) == 464 && offsetof(FilterRecord, plugInRef) == 472);
static_assert(offsetof(FilterRecord, depth) == 480 && offsetof(FilterRecord, iCCprofileData) == 484);
static_assert(offsetof(FilterRecord, iCCprofileSize) == 492 && offsetof(FilterRecord, canUseICCProfiles) == 496);
static_assert(offsetof(FilterRecord, hasImageScrap) == 500 && offsetof(FilterRecord, bigDocumentData) == 504);

// The plug-in's one export. The second argument is an AboutRecord for the about selector and a
// FilterRecord for every other one.
using PluginEntryProc = void (*)(int16_t selector, void* record, intptr_t* data, int16_t* result);

}  // extern "C"

// Whether a procedure table offers a procedure: the table exists, the procedure is filled in and
// lies within the count the host gave (every table holds its procedures at 8 + 8 x slot, after
// the 16-bit version and count).
template <typename Table, typename Proc>
inline bool HasProc(const Table* table, Proc Table::*member) {
    if (!table || !(table->*member)) return false;
    const auto* base = reinterpret_cast<const unsigned char*>(table);
    const ptrdiff_t slot = (reinterpret_cast<const unsigned char*>(&(table->*member)) - base - 8) / 8;
    int16_t count = 0;
    __builtin_memcpy(&count, base + 2, sizeof count);
    return slot < count;
}
