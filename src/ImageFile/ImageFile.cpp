// Reading frame images: finding the JPEG stream inside a file or container, its header, and its
// pixels through libjpeg into the caller's layout.
//
// libjpeg reports a fatal error through its error exit, which must not return. Ours jumps back
// with longjmp to a recovery point set by one of the small decoding steps below, which then
// answers a 16-bit code. Between a step's setjmp and the library's jump there live only plain data
// (the decoder record, our callbacks' locals): nothing with a destructor is skipped, and no C++
// exception ever passes through the library's C frames. Our callbacks (the data source over File,
// the APP13 handler) catch what File throws and turn it into the library's error exit.
#include "ImageFile.h"

#include <windows.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include <jpeglib.h>
#include <jerror.h>

#include "BigEndian.h"
#include "ColorConversion.h"
#include "ImageModes.h"

namespace {

constexpr uint32_t GroupEnd(uint32_t code) { return code | FileTypeList::kGroupEnd; }

}  // namespace

namespace ImageTypeList {
const uint32_t kFrameFiles[] = {'.FRM', '.FRR', '.JPG', '.JPE', '.AFX', 'JFIF', GroupEnd('JPEG'), 0};
const uint32_t kReadableImages[] = {'.FRM', '.FRR', '.FRI', '.FRO', '.JPG', '.JP1',
                                    '.JP2', '.JPE', '.AFX', 'JFIF', GroupEnd('JPEG'), 0};
const uint32_t kJpegImages[] = {'.JPG', '.JPE', GroupEnd('JPEG'), 0};
const uint32_t kContainer[] = {GroupEnd('.AFX'), 0};
}  // namespace ImageTypeList

// ---- The decoder's record

namespace {

// How far past its search start a JPEG stream may begin, and how many bytes a match looks at.
constexpr uint32_t kScanPositions = 2048;
constexpr uint32_t kSignatureBytes = 10;
constexpr uint8_t kJfifSignature[] = {0xFF, 0xD8, 0xFF, 0xE0};
constexpr uint8_t kJfifName[] = {'J', 'F', 'I', 'F'};
constexpr uint32_t kJfifNameAt = 6;

constexpr size_t kSourceBufferBytes = 4096;

// The resolution resource of an APP13 block of image resources.
constexpr uint32_t kResourceSignature = '8BIM';
constexpr uint16_t kResolutionResource = 1005;
constexpr uint32_t kResolutionBytes = 16;
constexpr uint16_t kUnitPerInch = 1, kUnitPerCentimetre = 2;
constexpr double kCentimetresPerInch = 2.54;
constexpr int kResourceMarker = JPEG_APP0 + 13;

// Images larger than a 16-bit bounds rectangle holds cannot be described.
constexpr uint32_t kMaxSide = 32767;

// Rows between two looks at the tick count, and the busy cursor's period.
constexpr DWORD kBusyCursorInterval = 250;

struct JpegErrorManager {
    jpeg_error_mgr manager;  // first: the library sees only this
    jmp_buf recovery;        // the step in progress
    ErrorCode code;          // what the step answers after the jump
};

struct JpegFileSource {
    jpeg_source_mgr manager;  // first: the library sees only this
    File* file;
    uint64_t offset;          // of the next read
    uint64_t end;             // the file's size
    bool startOfFile;
    JOCTET buffer[kSourceBufferBytes];
};

// An .AFX container's raw thumbnail.
struct RawThumbnail {
    uint32_t dataAt;
    uint32_t width;
    uint32_t height;
    uint32_t planes;  // 1 grey or 3 RGB
};

}  // namespace

// Plain data only: the library jumps across the frames that use it.
struct JpegDecoder {
    jpeg_decompress_struct jpeg;
    JpegErrorManager error;
    JpegFileSource source;
    // What the embedded resolution resource said.
    bool resolutionFound;
    uint16_t densityUnit;
    uint8_t widthUnit;
    uint8_t heightUnit;
    double horizontalResolution;
    double verticalResolution;
    // The header read found the container's raw thumbnail instead of a stream.
    bool rawThumbnailFound;
    RawThumbnail rawThumbnail;
};
static_assert(std::is_trivially_destructible_v<JpegDecoder>);

namespace {

// ---- libjpeg's hooks

// The warnings that mean pixels were lost: the data ran out or was damaged. Decoding a frame from
// them would give an image with parts made up, so they end the decoding, unless every row is out
// already (a file that lacks only its closing marker).
bool WarningLosesPixels(int code) {
    switch (code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_JPEG_EOF:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
        return true;
    default:
        return false;
    }
}

void EmitNothing(j_common_ptr) {}

void JpegWarning(j_common_ptr common, int level) {
    constexpr int kWarning = -1;
    if (level != kWarning || !WarningLosesPixels(common->err->msg_code)) return;
    const auto* jpeg = reinterpret_cast<j_decompress_ptr>(common);
    if (jpeg->output_height > 0 && jpeg->output_scanline >= jpeg->output_height) return;
    common->err->error_exit(common);
}

}  // namespace

// The library's error exit: back to the step in progress, which answers the stored code.
void JpegErrorExit(j_common_ptr common) {
    auto* error = reinterpret_cast<JpegErrorManager*>(common->err);
    if (common->err->msg_code == JERR_OUT_OF_MEMORY && error->code == Err::ImageNotParsable) {
        error->code = Err::MemoryFull;
    }
    longjmp(error->recovery, 1);
}

namespace {

JpegFileSource* SourceOf(j_decompress_ptr jpeg) { return reinterpret_cast<JpegFileSource*>(jpeg->src); }

void StartSource(j_decompress_ptr) {}
void EndSource(j_decompress_ptr) {}

// Fills the buffer from the file at the source's offset. File's failures are thrown: they are
// caught here and leave through the error exit with their code. Past the end of the file the
// library gets an end-of-image marker (and a warning that ends the decoding while rows are still
// to come).
boolean FillFromFile(j_decompress_ptr jpeg) {
    JpegFileSource* source = SourceOf(jpeg);
    uint32_t got = 0;
    ErrorCode failure = 0;
    if (source->offset < source->end && source->offset <= UINT32_MAX) {
        const auto count = static_cast<int32_t>(std::min<uint64_t>(source->end - source->offset, kSourceBufferBytes));
        try {
            got = source->file->Read(source->buffer, static_cast<uint32_t>(source->offset), count);
        } catch (const ErrorCodeException& e) {
            failure = e.code;
        } catch (...) {
            failure = Err::FileIO;
        }
    }
    if (failure) {
        reinterpret_cast<JpegErrorManager*>(jpeg->err)->code = failure;
        ERREXIT(jpeg, JERR_FILE_READ);
    }
    if (got == 0) {
        if (source->startOfFile) ERREXIT(jpeg, JERR_INPUT_EMPTY);
        WARNMS(jpeg, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        got = 2;
    } else {
        source->offset += got;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = got;
    source->startOfFile = false;
    return TRUE;
}

void SkipInput(j_decompress_ptr jpeg, long count) {
    if (count <= 0) return;
    JpegFileSource* source = SourceOf(jpeg);
    const auto wanted = static_cast<uint64_t>(count);
    if (wanted <= source->manager.bytes_in_buffer) {
        source->manager.next_input_byte += wanted;
        source->manager.bytes_in_buffer -= wanted;
        return;
    }
    // What lies beyond the buffer is skipped in the file; the next fill reads after it.
    source->offset = std::min(source->end, source->offset + (wanted - source->manager.bytes_in_buffer));
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = 0;
}

// Reads a marker's bytes through the source, never past the marker's own length.
struct MarkerReader {
    j_decompress_ptr jpeg;
    uint32_t remaining;

    bool Byte(uint8_t& value) {
        if (remaining == 0) return false;
        jpeg_source_mgr* source = jpeg->src;
        if (source->bytes_in_buffer == 0) source->fill_input_buffer(jpeg);
        --source->bytes_in_buffer;
        value = *source->next_input_byte++;
        --remaining;
        return true;
    }
    bool Word(uint32_t& value, int bytes) {
        value = 0;
        for (int i = 0; i < bytes; ++i) {
            uint8_t byte = 0;
            if (!Byte(byte)) return false;
            value = (value << 8) | byte;
        }
        return true;
    }
    bool Skip(uint32_t count) {
        if (count > remaining) return false;
        uint8_t ignored = 0;
        while (count-- > 0) Byte(ignored);
        return true;
    }
};

// The resolution resource: each direction's resolution as 16.16 pixels per inch, its display
// unit (1 per inch, 2 per centimetre) and its size display unit.
void TakeResolution(MarkerReader& reader, JpegDecoder& decoder) {
    uint32_t field[8] = {};
    for (uint32_t& value : field) {
        if (!reader.Word(value, 2)) return;
    }
    constexpr double kFraction = 65536.0;
    double horizontal = field[0] + field[1] / kFraction;
    double vertical = field[4] + field[5] / kFraction;
    const uint32_t horizontalUnit = field[2], verticalUnit = field[6];
    decoder.widthUnit = static_cast<uint8_t>(field[3]);
    decoder.heightUnit = static_cast<uint8_t>(field[7]);
    const bool horizontalKnown = horizontalUnit == kUnitPerInch || horizontalUnit == kUnitPerCentimetre;
    const uint32_t unit = horizontalKnown ? horizontalUnit : verticalUnit;
    if (unit != kUnitPerInch && unit != kUnitPerCentimetre) return;
    if (unit == kUnitPerCentimetre) {
        horizontal /= kCentimetresPerInch;
        vertical /= kCentimetresPerInch;
    }
    if (!(horizontal > 0) || !(vertical > 0)) return;
    decoder.resolutionFound = true;
    decoder.densityUnit = static_cast<uint16_t>(unit);
    decoder.horizontalResolution = horizontal;
    decoder.verticalResolution = vertical;
}

}  // namespace

// The APP13 handler: looks through the block's image resources for the resolution resource. Every
// read stays within the marker: a resource that claims more bytes than the marker holds ends the
// search. The marker is always consumed whole.
boolean ProcessAppMarker(j_decompress_ptr jpeg) {
    auto* decoder = static_cast<JpegDecoder*>(jpeg->client_data);
    MarkerReader reader{jpeg, 2};
    uint32_t length = 0;
    reader.Word(length, 2);
    reader.remaining = length >= 2 ? length - 2 : 0;
    uint32_t rolling = 0;
    uint8_t byte = 0;
    while (reader.Byte(byte)) {
        rolling = (rolling << 8) | byte;
        if (rolling != kResourceSignature) continue;
        rolling = 0;
        uint32_t id = 0, nameLength = 0, dataSize = 0;
        // The name is a padded Pascal string: with its length byte it takes an even count.
        if (!reader.Word(id, 2) || !reader.Word(nameLength, 1) || !reader.Skip(nameLength / 2 * 2 + 1) ||
            !reader.Word(dataSize, 4) || dataSize > reader.remaining) {
            break;
        }
        if (id == kResolutionResource) {
            if (dataSize >= kResolutionBytes) TakeResolution(reader, *decoder);
            break;
        }
        reader.Skip(dataSize);
    }
    reader.Skip(reader.remaining);
    return TRUE;
}

namespace {

// ---- The decoding steps: the only frames that call the library

void PrepareDecoder(JpegDecoder& d, File& file, uint32_t start, uint64_t end) {
    std::memset(&d, 0, sizeof d);
    jpeg_error_mgr* manager = jpeg_std_error(&d.error.manager);
    manager->error_exit = JpegErrorExit;
    manager->emit_message = JpegWarning;
    manager->output_message = EmitNothing;
    manager->trace_level = 0;
    d.error.code = Err::ImageNotParsable;
    d.jpeg.err = manager;
    d.jpeg.client_data = &d;
    d.source.manager.init_source = StartSource;
    d.source.manager.fill_input_buffer = FillFromFile;
    d.source.manager.skip_input_data = SkipInput;
    d.source.manager.resync_to_restart = jpeg_resync_to_restart;
    d.source.manager.term_source = EndSource;
    d.source.file = &file;
    d.source.offset = start;
    d.source.end = end;
    d.source.startOfFile = true;
}

// Creates the decompressor over the source and reads the header.
ErrorCode BeginDecoding(JpegDecoder* d) {
    if (setjmp(d->error.recovery)) return d->error.code;
    jpeg_create_decompress(&d->jpeg);
    d->jpeg.client_data = d;
    jpeg_set_marker_processor(&d->jpeg, kResourceMarker, ProcessAppMarker);
    d->jpeg.src = &d->source.manager;
    jpeg_read_header(&d->jpeg, TRUE);
    return 0;
}

ErrorCode StartDecoding(JpegDecoder* d, J_COLOR_SPACE space) {
    if (setjmp(d->error.recovery)) return d->error.code;
    d->jpeg.out_color_space = space;
    jpeg_start_decompress(&d->jpeg);
    return 0;
}

ErrorCode ReadDecodedRow(JpegDecoder* d, JSAMPROW row) {
    if (setjmp(d->error.recovery)) return d->error.code;
    return jpeg_read_scanlines(&d->jpeg, &row, 1) == 1 ? 0 : Err::ImageNotParsable;
}

ErrorCode FinishDecoding(JpegDecoder* d) {
    if (setjmp(d->error.recovery)) return d->error.code;
    jpeg_finish_decompress(&d->jpeg);
    return 0;
}

// Destroying never fails, and is harmless on a decoder that was never created.
void EndDecoding(JpegDecoder& d) { jpeg_destroy_decompress(&d.jpeg); }

// Ends the decoding of a header read when it goes, unless the pixels are to follow.
class DecoderScope {
public:
    explicit DecoderScope(JpegDecoder& d) : decoder_(&d) {}
    DecoderScope(const DecoderScope&) = delete;
    DecoderScope& operator=(const DecoderScope&) = delete;
    ~DecoderScope() {
        if (decoder_) EndDecoding(*decoder_);
    }
    void Keep() { decoder_ = nullptr; }

private:
    JpegDecoder* decoder_;
};

// Closes a file that the scope opened, unless it is kept open for the pixels.
class OpenedHere {
public:
    explicit OpenedHere(File& file) : file_(file) {}
    OpenedHere(const OpenedHere&) = delete;
    OpenedHere& operator=(const OpenedHere&) = delete;
    ~OpenedHere() {
        if (opened_) file_.Close();
    }
    // Opens the file for reading when it is not open: 0 or the open's error.
    ErrorCode Open() {
        if (file_.IsOpen()) return 0;
        const ErrorCode error = file_.Open("r");
        opened_ = error == 0;
        return error;
    }
    void Keep() { opened_ = false; }

private:
    File& file_;
    bool opened_ = false;
};

bool IsContainer(const File& file) { return FileSpec::TypeIndex(file, ImageTypeList::kContainer) != 0; }

bool StreamStartsAt(const uint8_t* bytes, bool firstPosition) {
    if (firstPosition && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return true;
    return std::memcmp(bytes, kJfifSignature, sizeof kJfifSignature) == 0 &&
           std::memcmp(bytes + kJfifNameAt, kJfifName, sizeof kJfifName) == 0;
}

// The container's raw thumbnail, when the header at 1024 describes one that the file holds: at
// most 256 pixels a side, grey or RGB data of exactly its size, inside the file.
bool FindRawThumbnail(File& file, uint32_t jpegStart, RawThumbnail& thumbnail) {
    using namespace AfxLayout;
    if (jpegStart <= kThumbnailAt) return false;
    uint8_t header[kThumbnailHeaderSize];
    if (file.Read(header, kThumbnailAt, sizeof header) != sizeof header) return false;
    const auto word = [&header](uint32_t index) { return BigEndian::Read32(header + 4 * index); };
    const uint64_t headerSize = word(kHeaderSizeWord), width = word(kWidthWord), height = word(kHeightWord),
                   dataSize = word(kDataSizeWord);
    if (headerSize < kThumbnailHeaderSize || width == 0 || height == 0 || width > kThumbnailMaxSide ||
        height > kThumbnailMaxSide) {
        return false;
    }
    const uint64_t pixels = width * height;
    const uint64_t planes = dataSize == pixels * 3 ? 3 : dataSize == pixels ? 1 : 0;
    if (planes == 0) return false;
    const uint64_t dataAt = uint64_t{kThumbnailAt} + headerSize;
    if (dataAt + dataSize > static_cast<uint64_t>(file.GetSize())) return false;
    thumbnail = RawThumbnail{static_cast<uint32_t>(dataAt), static_cast<uint32_t>(width),
                             static_cast<uint32_t>(height), static_cast<uint32_t>(planes)};
    return true;
}

ImageInfo InfoOfRawThumbnail(const RawThumbnail& thumbnail) {
    ImageInfo info;
    info.mode = thumbnail.planes == 3 ? ImageInfo::kModeRGB : ImageInfo::kModeGrey;
    info.planes = static_cast<uint16_t>(thumbnail.planes);
    info.bytesPerPixel = thumbnail.planes;
    info.bytesPerRow = thumbnail.planes * thumbnail.width;
    info.bounds = Rect16{0, 0, static_cast<int16_t>(thumbnail.height), static_cast<int16_t>(thumbnail.width)};
    return info;
}

// The image mode of a decoded header: grey, RGB (from YCbCr or RGB) or CMYK (from CMYK or YCCK).
uint16_t ModeOfHeader(const jpeg_decompress_struct& jpeg) {
    switch (jpeg.num_components) {
    case 1:
        return jpeg.jpeg_color_space == JCS_GRAYSCALE ? ImageInfo::kModeGrey : ImageInfo::kModeUnsupported;
    case 3:
        return jpeg.jpeg_color_space == JCS_YCbCr || jpeg.jpeg_color_space == JCS_RGB ? ImageInfo::kModeRGB
                                                                                       : ImageInfo::kModeUnsupported;
    case 4:
        return jpeg.jpeg_color_space == JCS_CMYK || jpeg.jpeg_color_space == JCS_YCCK ? ImageInfo::kModeCMYK
                                                                                       : ImageInfo::kModeUnsupported;
    default:
        return ImageInfo::kModeUnsupported;
    }
}

ImageInfo InfoOfHeader(const JpegDecoder& d) {
    const jpeg_decompress_struct& jpeg = d.jpeg;
    ImageInfo info;
    info.mode = ModeOfHeader(jpeg);
    info.planes = static_cast<uint16_t>(jpeg.num_components);
    info.bytesPerPixel = static_cast<uint32_t>(jpeg.num_components);
    info.bytesPerRow = static_cast<uint32_t>(jpeg.num_components) * jpeg.image_width;
    info.bounds = Rect16{0, 0, static_cast<int16_t>(jpeg.image_height), static_cast<int16_t>(jpeg.image_width)};
    info.densityUnit = jpeg.density_unit == kUnitPerInch || jpeg.density_unit == kUnitPerCentimetre
                           ? jpeg.density_unit
                           : ImageInfo::kDensityNone;
    info.horizontalResolution = jpeg.X_density;
    info.verticalResolution = jpeg.Y_density;
    if (d.resolutionFound) {
        info.densityUnit = d.densityUnit;
        info.horizontalResolution = static_cast<float>(d.horizontalResolution);
        info.verticalResolution = static_cast<float>(d.verticalResolution);
    }
    info.widthUnit = d.widthUnit;
    info.heightUnit = d.heightUnit;
    return info;
}

ErrorCode ReadHeader(ImageFile& file, ImageInfo& info, int n, JpegDecoder& d) {
    const uint64_t size = static_cast<uint64_t>(file.GetSize());
    PrepareDecoder(d, file, 0, size);
    if (n >= kThumbnailImage && IsContainer(file)) {
        uint32_t start = 0;
        if (FindJpegStart(file, kMainImage, start) == 0 && FindRawThumbnail(file, start, d.rawThumbnail)) {
            d.rawThumbnailFound = true;
            file.SetThumbnailFound(true);
            info = InfoOfRawThumbnail(d.rawThumbnail);
            return 0;
        }
    }
    uint32_t start = 0;
    if (const ErrorCode error = FindJpegStart(file, n, start)) return error;
    d.source.offset = start;
    if (const ErrorCode error = BeginDecoding(&d)) return error;
    if (d.jpeg.image_width == 0 || d.jpeg.image_height == 0 || d.jpeg.image_width > kMaxSide ||
        d.jpeg.image_height > kMaxSide) {
        return Err::ImageNotParsable;
    }
    info = InfoOfHeader(d);
    return info.mode == ImageInfo::kModeUnsupported ? Err::ImageNotDecodable : 0;
}

// ---- Pixels: per-pixel conversions apart from the walk over rows

// The grey of an RGB pixel, as the built-in colour conversion gives it.
inline uint8_t GreyOfRgb(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint8_t>(((uint32_t{r} + 2 * uint32_t{g}) * 38 + uint32_t{b} * 14 + 64) >> 7);
}

// The grey of a CMYK pixel stored inverted (255 no ink), through its RGB as the built-in conversion
// makes it.
inline uint8_t GreyOfInvertedCmyk(const uint8_t* p) {
    const auto channel = [k = uint32_t{p[3]}](uint8_t ink) { return static_cast<uint8_t>((ink * k + 127) / 255); };
    return GreyOfRgb(channel(p[0]), channel(p[1]), channel(p[2]));
}

// Converts count pixels of one mode into another: grey, RGB and CMYK among themselves where the
// conversion is plain arithmetic, everything else through the colour services.
ErrorCode ConvertRow(ColorServicesProc hostColours, uint16_t from, uint16_t to, int64_t count, const uint8_t* source,
                     uint8_t* destination) {
    if (to == ImageInfo::kModeGrey && from == ImageInfo::kModeRGB) {
        for (int64_t i = 0; i < count; ++i, source += 3) destination[i] = GreyOfRgb(source[0], source[1], source[2]);
        return 0;
    }
    if (to == ImageInfo::kModeGrey && from == ImageInfo::kModeCMYK) {
        for (int64_t i = 0; i < count; ++i, source += 4) destination[i] = GreyOfInvertedCmyk(source);
        return 0;
    }
    if (to == ImageInfo::kModeRGB && from == ImageInfo::kModeGrey) {
        for (int64_t i = 0; i < count; ++i, destination += 3) destination[0] = destination[1] = destination[2] = source[i];
        return 0;
    }
    return ConvertPixelColors(hostColours, static_cast<int16_t>(from), static_cast<int16_t>(to), count, source, destination);
}

// Spreads a row of `planes` bytes a pixel to `bytesPerPixel`, filling the extra bytes with 255;
// from the end, so that it works in place.
void WidenRow(uint8_t* row, int64_t count, uint32_t planes, uint32_t bytesPerPixel) {
    for (int64_t i = count - 1; i >= 0; --i) {
        uint8_t* pixel = row + i * bytesPerPixel;
        std::memmove(pixel, row + i * planes, planes);
        std::memset(pixel + planes, 0xFF, bytesPerPixel - planes);
    }
}

// What the wanted layout asks of the decoding: the mode of its colour planes.
struct OutputLayout {
    uint16_t mode;    // the mode the rows are converted into
    uint32_t planes;  // its colour planes
    uint32_t bytesPerPixel;
    uint32_t bytesPerRow;
};

// Checks the wanted layout against the image: the caller sized the buffer from the wanted rows and
// height, so the image must fit them. 17404 for a layout no decoding gives, 17401 for an image
// that does not fit (the file changed since its header was read).
ErrorCode OutputLayoutOf(const ImageInfo& wanted, const ImageInfo& image, OutputLayout& out) {
    const bool grey = wanted.mode == ImageInfo::kModeGrey || wanted.planes == 1;
    const ImageModeInfo* mode = FindImageMode(wanted.mode);
    if (!grey && !mode) return Err::ImageNotDecodable;
    out.mode = grey ? ImageInfo::kModeGrey : static_cast<uint16_t>(mode->eightBitMode);
    out.planes = grey ? 1 : static_cast<uint32_t>(ColourPlanesOfMode(out.mode));
    out.bytesPerPixel = wanted.bytesPerPixel;
    out.bytesPerRow = wanted.bytesPerRow;
    if (out.planes == 0 || out.planes != wanted.planes || wanted.bytesPerPixel < out.planes) {
        return Err::ImageNotDecodable;
    }
    const int64_t width = image.Width(), height = image.Height();
    if (width <= 0 || height <= 0 || width > wanted.Width() || height > wanted.Height() ||
        width * int64_t{wanted.bytesPerPixel} > int64_t{wanted.bytesPerRow}) {
        return Err::ImageNotParsable;
    }
    return 0;
}

// Shows the wait cursor every quarter second while a long decoding runs, and the arrow after it.
class BusyCursor {
public:
    explicit BusyCursor(bool quiet) : active_(!quiet), next_(GetTickCount()) {}
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
    ~BusyCursor() {
        if (active_) SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    }
    void Spin() {
        if (!active_ || static_cast<int32_t>(GetTickCount() - next_) < 0) return;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        next_ = GetTickCount() + kBusyCursorInterval;
    }

private:
    bool active_;
    DWORD next_;
};

// A row buffer, or none: -108 when it cannot be had.
ErrorCode NewRow(int64_t bytes, std::unique_ptr<uint8_t[]>& row) {
    row.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
    return row ? 0 : Err::MemoryFull;
}

ErrorCode ReadRawThumbnailPixels(ImageFile& file, const RawThumbnail& thumbnail, const OutputLayout& out,
                                 ColorServicesProc hostColours, uint8_t* buffer, BusyCursor& busy) {
    const uint16_t mode = thumbnail.planes == 3 ? ImageInfo::kModeRGB : ImageInfo::kModeGrey;
    const int64_t rowBytes = int64_t{thumbnail.width} * thumbnail.planes;
    const bool converted = mode != out.mode;
    std::unique_ptr<uint8_t[]> row;
    if (converted) {
        if (const ErrorCode error = NewRow(rowBytes, row)) return error;
    }
    for (uint32_t y = 0; y < thumbnail.height; ++y) {
        uint8_t* destination = buffer + int64_t{y} * out.bytesPerRow;
        uint8_t* target = converted ? row.get() : destination;
        const uint64_t at = thumbnail.dataAt + uint64_t{y} * static_cast<uint64_t>(rowBytes);
        if (file.Read(target, static_cast<uint32_t>(at), static_cast<int32_t>(rowBytes)) != rowBytes) {
            return Err::ImageNotParsable;
        }
        if (converted) {
            if (const ErrorCode error = ConvertRow(hostColours, mode, out.mode, thumbnail.width, row.get(), destination)) return error;
        }
        if (out.bytesPerPixel > out.planes) WidenRow(destination, thumbnail.width, out.planes, out.bytesPerPixel);
        busy.Spin();
    }
    return 0;
}

ErrorCode ReadStreamPixels(JpegDecoder& d, const ImageInfo& image, const OutputLayout& out,
                           ColorServicesProc hostColours, uint8_t* buffer, BusyCursor& busy) {
    // libjpeg makes grey from YCbCr and RGB itself; CMYK and every other change are ours.
    const bool libraryGrey = out.mode == ImageInfo::kModeGrey && image.mode != ImageInfo::kModeCMYK;
    const uint16_t decoded = libraryGrey ? ImageInfo::kModeGrey : image.mode;
    const J_COLOR_SPACE space = decoded == ImageInfo::kModeGrey ? JCS_GRAYSCALE
                                : decoded == ImageInfo::kModeRGB ? JCS_RGB
                                                                 : JCS_CMYK;
    if (const ErrorCode error = StartDecoding(&d, space)) return error;
    const int64_t width = image.Width();
    const int decodedPlanes = ColourPlanesOfMode(decoded);
    if (d.jpeg.output_width != static_cast<JDIMENSION>(width) ||
        d.jpeg.output_height != static_cast<JDIMENSION>(image.Height()) || d.jpeg.output_components != decodedPlanes) {
        return Err::ImageNotParsable;
    }
    const bool converted = decoded != out.mode;
    std::unique_ptr<uint8_t[]> row;
    if (converted) {
        if (const ErrorCode error = NewRow(width * decodedPlanes, row)) return error;
    }
    for (int64_t y = 0; y < image.Height(); ++y) {
        uint8_t* destination = buffer + y * out.bytesPerRow;
        if (const ErrorCode error = ReadDecodedRow(&d, converted ? row.get() : destination)) return error;
        if (converted) {
            if (const ErrorCode error = ConvertRow(hostColours, decoded, out.mode, width, row.get(), destination)) return error;
        }
        if (out.bytesPerPixel > out.planes) WidenRow(destination, width, out.planes, out.bytesPerPixel);
        busy.Spin();
    }
    return FinishDecoding(&d);
}

}  // namespace

// ---- ImageFile

ErrorCode ImageFile::ReadImageInfo(ImageInfo* info) {
    if (FileSpec::TypeIndex(*this, ImageTypeList::kReadableImages) == 0) return Err::UnsupportedImageType;
    const ErrorCode error = ReadJpegHeader(*this, &info_, kMainImage, nullptr);
    if (info) *info = info_;
    return error;
}

ErrorCode FindJpegStart(ImageFile& file, int n, uint32_t& position) {
    const int64_t size = file.GetSize();
    uint64_t start = position;
    if (start == 0 && IsContainer(file)) {
        uint8_t word[4] = {};
        if (file.Read(word, 0, sizeof word) == sizeof word && BigEndian::Read32(word) == AfxLayout::kMagic) {
            if (file.Read(word, AfxLayout::kJpegOffsetAt, sizeof word) != sizeof word) return Err::ImageNotParsable;
            start = BigEndian::Read32(word);
        }
    }
    uint64_t match = start;
    for (int stream = 0; stream < std::max(n, 1); ++stream) {
        if (start >= static_cast<uint64_t>(size)) return Err::ImageNotParsable;
        uint8_t window[kScanPositions + kSignatureBytes - 1];
        const uint32_t got = file.Read(window, static_cast<uint32_t>(start), sizeof window);
        bool found = false;
        for (uint32_t p = 0; p < kScanPositions && !found; ++p) {
            // A position whose signature would reach past the end of the file ends the search.
            if (p + kSignatureBytes > got) return Err::ImageNotParsable;
            if (StreamStartsAt(window + p, p == 0)) {
                match = start + p;
                found = true;
            }
        }
        if (!found) return Err::ImageNotParsable;
        start = match + kSignatureBytes;
    }
    position = static_cast<uint32_t>(match);
    return 0;
}

ErrorCode ReadJpegHeader(ImageFile& file, ImageInfo* info, int n, JpegDecoder* decoder) {
    file.SetThumbnailFound(false);
    // Without a caller's decoder the header's own lives only for this read.
    std::unique_ptr<JpegDecoder> own;
    try {
        if (!decoder) {
            own.reset(new JpegDecoder);
            decoder = own.get();
        }
        std::memset(decoder, 0, sizeof *decoder);
        OpenedHere opened(file);
        if (const ErrorCode error = opened.Open()) return error;
        DecoderScope scope(*decoder);
        ImageInfo read;
        const ErrorCode error = ReadHeader(file, read, n, *decoder);
        if (error && error != Err::ImageNotDecodable) return error;
        if (info) *info = read;
        if (error) return error;
        if (own) return 0;
        scope.Keep();
        opened.Keep();
        return 0;
    } catch (const ErrorCodeException& e) {
        return e.code;
    } catch (const std::bad_alloc&) {
        return Err::MemoryFull;
    }
}

ErrorCode ReadJpegPixels(ImageFile& file, uint8_t* buffer, const ImageInfo* wanted, int n, bool quiet,
                         ColorServicesProc hostColours) {
    try {
        OpenedHere opened(file);
        if (const ErrorCode error = opened.Open()) return error;
        const auto decoder = std::make_unique<JpegDecoder>();
        ImageInfo image;
        if (const ErrorCode error = ReadJpegHeader(file, &image, n, decoder.get())) return error;
        DecoderScope scope(*decoder);
        OutputLayout out{};
        if (const ErrorCode error = OutputLayoutOf(wanted ? *wanted : file.Info(), image, out)) return error;
        if (!buffer) return Err::MemoryFull;
        BusyCursor busy(quiet);
        if (decoder->rawThumbnailFound) return ReadRawThumbnailPixels(file, decoder->rawThumbnail, out, hostColours, buffer, busy);
        return ReadStreamPixels(*decoder, image, out, hostColours, buffer, busy);
    } catch (const ErrorCodeException& e) {
        return e.code;
    } catch (const std::bad_alloc&) {
        return Err::MemoryFull;
    }
}
