// The scripting parameters: the host's action descriptor read into the parameter block before the
// start routine, and the block, the output mode and the layered-output lists written back after it.
#include "ScriptParams.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "Alerts.h"
#include "CurrentParameters.h"
#include "Errors.h"
#include "File.h"
#include "FilterObjects.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "HostServices.h"
#include "Libraries.h"
#include "PhotoshopDialog.h"
#include "PhotoshopFilter.h"
#include "QuorvelBase.h"
#include "QVDatabase.h"
#include "SettingsDefaults.h"
#include "SettingsLayout.h"

namespace {

constexpr uint32_t kChannelKeys[3] = {'FraL', 'FrbL', 'FrtL'};
constexpr int kShapeNameStrings = 14100;  // + shape kind: "Ellipse" .. "Heart"

// Descriptor-suite failures end the call with their own code.
void ThrowIfSuiteError(SPErr error) {
    if (error != 0) throw SuiteErrorException{error};
}

// A scripted call without a dialog that hands over no descriptor has nothing to run with: the call
// ends as a bad parameter (-108 to the host).
[[noreturn]] void ThrowBadParameters() { throw SuiteAccessException{'Parm'}; }

DescriptorParameters* ScriptParameters() {
    const FilterRecord* record = HostCall::Current().record;
    return record ? record->descriptorParameters : nullptr;
}

Handle DescriptorHandle() {
    const DescriptorParameters* parameters = ScriptParameters();
    return parameters ? parameters->descriptor : nullptr;
}


// Owns a descriptor or a list made or read through its suite, and frees it through the suite.
template <typename Suite, typename Ref>
class SuiteObject {
public:
    explicit SuiteObject(const Suite* suite) : suite_(suite) {}
    SuiteObject(const SuiteObject&) = delete;
    SuiteObject& operator=(const SuiteObject&) = delete;
    ~SuiteObject() {
        if (ref_) suite_->Free(ref_);
    }
    Ref* Out() { return &ref_; }
    Ref Get() const { return ref_; }

private:
    const Suite* suite_;
    Ref ref_ = nullptr;
};
using ScopedDescriptor = SuiteObject<DescriptorSuite, DescriptorRef>;
using ScopedList = SuiteObject<DescriptorListSuite, DescriptorListRef>;

bool HasKey(const DescriptorSuite* suite, DescriptorRef descriptor, DescriptorKey key) {
    Boolean8 has = 0;
    ThrowIfSuiteError(suite->HasKey(descriptor, key, &has));
    return has != 0;
}

// ---- Reading

// The list item at index as a handle image: a zeroed buffer with the item at the scripting copy's
// start; empty for an empty or unreadable item.
std::vector<uint8_t> CopyListData(DescriptorListRef list, uint32_t index) {
    constexpr size_t kStart = ParameterHeader::kScriptCopyStart;
    const DescriptorListSuite* suite = GetDescriptorListSuite();
    int32_t length = 0;
    if (suite->GetDataLength(list, index, &length) != 0 || length <= 0) return {};
    std::vector<uint8_t> image(static_cast<size_t>(length) + kStart, 0);
    if (suite->GetData(list, index, image.data() + kStart) != 0) return {};
    return image;
}

// The layer count of a list item's block, or 0 when the item is too short to hold one.
int32_t LayerCountOfItem(const std::vector<uint8_t>& image) {
    if (image.size() < BlockLayout::kLayers) return 0;
    return std::max<int32_t>(RecordRef(const_cast<uint8_t*>(image.data())).Get(BlockLayout::kLayerCount), 0);
}

// Installs the blob under 'FrMP' as the host's parameters. The blob is checked before it replaces
// anything: a blob that cannot be a block, or a block that fails validation, leaves the host's
// block as it was and answers 17004.
ErrorCode InstallParameterBlob(const DescriptorSuite* suite, DescriptorRef descriptor) {
    // The filter object validates the block, and builds the defaults when it is refused.
    if (!gFilters.main) THROW_IF_ERROR(Err::MemoryFull);
    int32_t length = 0;
    ThrowIfSuiteError(suite->GetDataLength(descriptor, 'FrMP', &length));
    // The blob holds at least the header behind the prefix's last bytes; S must fit its 16 bits.
    constexpr int64_t kCopiedPrefix = ParameterHeader::kRunTimePrefix - ParameterHeader::kScriptCopyStart;
    constexpr int64_t kMinLength = kCopiedPrefix + ParameterHeader::kHeaderLength;
    constexpr int64_t kMaxLength = ParameterHeader::kRunTimePrefix + ParameterHeader::kMaxSize;
    if (length < kMinLength || length > kMaxLength) return Err::SettingsCorrupt;

    constexpr int64_t kStart = ParameterHeader::kScriptCopyStart;
    std::vector<uint8_t> data(static_cast<size_t>(length + kStart), 0);
    ThrowIfSuiteError(suite->GetData(descriptor, 'FrMP', data.data()));
    int64_t imageLength = length;
    uint32_t word4 = 0;
    std::memcpy(&word4, data.data() + kStart, sizeof word4);
    if (word4 != 0) {
        // Written from the scripting copy's start: the blob starts inside the prefix.
        std::memmove(data.data() + kStart, data.data(), static_cast<size_t>(length));
        std::memset(data.data(), 0, static_cast<size_t>(kStart));
        imageLength += kStart;
    }
    if (imageLength < ParameterHeader::kSettingsOffset || imageLength - ParameterHeader::kRunTimePrefix > ParameterHeader::kMaxSize)
        return Err::SettingsCorrupt;

    UniqueHandle candidate(NewHandle(imageLength));
    if (!candidate) THROW_IF_ERROR(Err::MemoryFull);
    {
        const LockedHandle bytes(candidate.Get());
        if (!bytes) THROW_IF_ERROR(Err::MemoryFull);
        std::memcpy(bytes.Get(), data.data(), static_cast<size_t>(imageLength));
        RecordRef(bytes.As<uint8_t>()).Set(BlockLayout::kSize, static_cast<uint16_t>(imageLength - ParameterHeader::kRunTimePrefix));
    }

    FilterRecord* record = HostCall::Current().record;
    UniqueHandle previous(record->parameters);
    record->parameters = candidate.Release();
    if (const ErrorCode invalid = gFilters.main->ValidateParameters()) {
        UniqueHandle rejected(record->parameters);
        record->parameters = previous.Release();
        return invalid;
    }
    return Err::None;
}

// Corrupt settings handed in are reported as a corrupt block that the host kept is (alert 17004,
// "The settings appear to be corrupt. The default settings will be used instead.") and the run
// goes on with the defaults. Closing the alert otherwise ends the call as cancelled: the user has
// seen the report, and the host's block stays as it was.
ErrorCode UseDefaultsForCorruptSettings(ErrorCode invalid) {
    if (RunModalDialog(nullptr, invalid, nullptr, nullptr) != 1) return Err::Cancelled;
    gFilters.main->SetDefaultParameters(0);
    return Err::None;
}

// The layers that the first `items` blocks of 'FrpM' hold, or more than a stack can hold once
// they reach it.
int32_t LayersOfFirstItems(const DescriptorSuite* suite, DescriptorRef descriptor, int32_t items) {
    const DescriptorListSuite* listSuite = GetDescriptorListSuite();
    ScopedList list(listSuite);
    ThrowIfSuiteError(suite->GetList(descriptor, 'FrpM', list.Out()));
    uint32_t count = 0;
    ThrowIfSuiteError(listSuite->GetCount(list.Get(), &count));
    const uint32_t read = std::min<uint32_t>(count, static_cast<uint32_t>(items));
    int32_t layers = 0;
    for (uint32_t i = 0; i < read && layers <= BlockLayout::kMaxLayers; ++i)
        layers += std::min<int32_t>(LayerCountOfItem(CopyListData(list.Get(), i)), BlockLayout::kMaxLayers + 1);
    return layers;
}

// 'TLPs': the photo's position among the block's layers. A negative value stands for the block's
// layer count (the photo over every layer). A positive value, that count included, counts the
// 'FrpM' items below the photo when the list is there: the layers those items hold place it.
void ReadPhotoPosition(const DescriptorSuite* suite, DescriptorRef descriptor) {
    int32_t position = 0;
    ThrowIfSuiteError(suite->GetInteger(descriptor, 'TLPs', &position));
    if (position < 0) {
        const LockedParameters parameters;
        position = parameters ? parameters.View().LayerCount() : -1;
        if (position < 0) return;
    }
    if (position > 0 && HasKey(suite, descriptor, 'FrpM')) position = LayersOfFirstItems(suite, descriptor, position);
    QuorvelBase::SetTargetLayerPos(position);
}

// Scripted blocks keep frame paths relative to the frame library; they resolve against the
// library that the windowless dialog opens.
void MakeFramePathsAbsolute() {
    PhotoshopDialog libraries(PhotoshopDialog::kWindowless, nullptr, nullptr);
    if (const QVDatabase* frames = FramesLibrary()) QuorvelBase::MakeFramePathsAbsolute(frames->Path());
}

// A 64-bit value such as the batch job's address. The host's descriptor suite has no 64-bit
// integers, so it travels as eight bytes of raw data; a value of any other type or length is no
// address and reads as 0.
int64_t ReadAddress(const DescriptorSuite* suite, DescriptorRef descriptor, DescriptorKey key) {
    DescriptorType type = 0;
    int32_t length = 0;
    ThrowIfSuiteError(suite->GetType(descriptor, key, &type));
    if (type != kTypeRawData) return 0;
    ThrowIfSuiteError(suite->GetDataLength(descriptor, key, &length));
    if (length != static_cast<int32_t>(sizeof(int64_t))) return 0;
    int64_t value = 0;
    ThrowIfSuiteError(suite->GetData(descriptor, key, &value));
    return value;
}

void ReadProcessFlags(const DescriptorSuite* suite, DescriptorRef descriptor, ScriptState& script) {
    Boolean8 flag = 0;
    script.lrcp = true;
    if (HasKey(suite, descriptor, 'LRCP')) {
        ThrowIfSuiteError(suite->GetBoolean(descriptor, 'LRCP', &flag));
        script.lrcp = flag != 0;
    }
    for (int i = 0; i < 3; ++i) {
        if (!HasKey(suite, descriptor, kChannelKeys[i])) continue;
        char name[kMaxChannelNameBytes + 1] = {};
        ThrowIfSuiteError(suite->GetString(descriptor, kChannelKeys[i], name, sizeof name));
        name[kMaxChannelNameBytes] = '\0';
        if (name[0]) script.run.channelNames[i] = name;
    }
    script.run.fwnl = false;
    if (HasKey(suite, descriptor, 'FwnL')) {
        ThrowIfSuiteError(suite->GetBoolean(descriptor, 'FwnL', &flag));
        script.run.fwnl = flag != 0;
    }
    if (HasKey(suite, descriptor, 'FbsT') && HostCall::Current().record->hostSig != 'vtRl')
        script.batchJob = reinterpret_cast<BatchJob*>(static_cast<intptr_t>(ReadAddress(suite, descriptor, 'FbsT')));
}

// ---- Writing

// A copy of the block's handle, edited into one item of 'FrpM'.
struct BlockImage {
    std::vector<uint8_t> bytes;

    ParameterBlockView View() { return ParameterBlockView(bytes.data(), static_cast<int64_t>(bytes.size())); }

    // S, N and M of the header; bytes 28 and 29 and the run-time link cleared; the global
    // placement reset to a scale of 1.0.
    void SetStack(int32_t layers, int32_t paths) {
        const RecordRef block = View().Block();
        block.Set(BlockLayout::kSize, static_cast<uint16_t>(bytes.size() - ParameterHeader::kRunTimePrefix));
        block.Set(BlockLayout::kLayerCount, static_cast<int16_t>(layers));
        block.Set(BlockLayout::kPathCount, static_cast<int16_t>(paths));
        block.Set(BlockLayout::kOutputOption, BlockLayout::kOutputOff);
        block.Set(BlockLayout::kLayeredOutputMode, BlockLayout::kLayeredOutputNone);
        std::memset(bytes.data(), 0, ParameterHeader::kRunTimePrefix);
    }
};

// A stack of `layers` whose header and globals come from the current block.
BlockImage StackImage(const ParameterBlockView& block, int32_t layers) {
    BlockImage image;
    image.bytes.assign(static_cast<size_t>(ParameterBlockView::SizeFor(layers, 0) + ParameterHeader::kRunTimePrefix), 0);
    std::memcpy(image.bytes.data(), block.Bytes(), BlockLayout::kLayers);
    image.SetStack(layers, 0);
    SettingsResetBackgroundPlacement(image.View());
    return image;
}

// One enabled layer as a block of its own, with the texture it names when it names one.
BlockImage OneLayerImage(const ParameterBlockView& block, int32_t layer) {
    const RecordRef source = block.Layer(layer);
    const int32_t texture = source.Get(LayerLayout::kBackgroundTexture);
    const bool withTexture = texture >= 1 && texture <= block.PathCount();
    BlockImage image;
    image.bytes.assign(
        static_cast<size_t>(ParameterBlockView::SizeFor(1, withTexture ? 1 : 0) + ParameterHeader::kRunTimePrefix), 0);
    std::memcpy(image.bytes.data(), block.Bytes(),
                static_cast<size_t>(std::min<int64_t>(block.Length(), static_cast<int64_t>(image.bytes.size()))));
    image.SetStack(1, withTexture ? 1 : 0);
    const ParameterBlockView view = image.View();
    SettingsDefaultLayerHead(view.Background());
    view.Block().Set(BlockLayout::kGlobalScale, 1.0f);
    std::memcpy(view.Layer(0).Bytes(), source.Bytes(), LayerLayout::kLength);
    if (withTexture) {
        view.Layer(0).Set(LayerLayout::kBackgroundTexture, 1);
        std::memcpy(view.Path(1).Bytes(), block.Path(texture).Bytes(), PathLayout::kLength);
    }
    return image;
}

// The name of a layer block in 'FrnM': the shape's name, or the frame file's name.
std::string LayerName(const RecordRef layer) {
    char name[256] = {};
    if (HoldsShape(layer)) {
        LoadResourceString(kShapeNameStrings + ShapeOf(layer).Get(ShapeLayout::kKind), name, sizeof name);
        return name;
    }
    FileSpec spec;
    std::memcpy(spec.bytes, layer.At(LayerLayout::kSource), FileSpec::kSize);
    std::string fileName;
    spec.GetName(fileName);
    return fileName;
}

void AppendImage(DescriptorListRef list, BlockImage& image) {
    ThrowIfSuiteError(AppendListData(list, static_cast<int64_t>(image.bytes.size()), image.bytes.data()));
}

// The layered-output lists: 'FrpM' items and their 'FrnM' names; answers TLPs.
int32_t BuildScriptDescriptor(DescriptorListRef blocks, DescriptorListRef names) {
    const LockedParameters parameters;
    const ParameterBlockView block = parameters.View();
    const RecordRef header = block.Block();
    const uint8_t option = header.Get(BlockLayout::kOutputOption);
    const uint8_t layered = header.Get(BlockLayout::kLayeredOutputMode);
    int32_t position = QuorvelBase::TargetLayerPos();
    if (option == BlockLayout::kOutputOff && layered != BlockLayout::kLayeredOutputLayers) return -1;

    const int32_t layers = block.LayerCount();
    if (option == BlockLayout::kOutputEachFrameToNewLayer && layered != BlockLayout::kLayeredOutputLayers) {
        const DescriptorListSuite* listSuite = GetDescriptorListSuite();
        for (int32_t i = 0; i < layers; ++i) {
            if (!block.Layer(i).Get(LayerLayout::kEnabled)) continue;
            BlockImage image = OneLayerImage(block, i);
            AppendImage(blocks, image);
            ThrowIfSuiteError(listSuite->PutString(names, LayerName(block.Layer(i)).c_str()));
        }
        return position;
    }
    if (position == 0 || position >= layers) {
        BlockImage image;
        const int64_t length =
            std::min<int64_t>(block.Block().Get(BlockLayout::kSize) + int64_t{ParameterHeader::kRunTimePrefix}, block.Length());
        image.bytes.assign(block.Bytes(), block.Bytes() + length);
        image.SetStack(layers, block.PathCount());
        SettingsResetBackgroundPlacement(image.View());
        AppendImage(blocks, image);
        return position != 0 ? 1 : 0;
    }
    // The layers below the photo and those above it, each a stack of its own.
    for (const auto& [first, end] : {std::pair{0, position}, std::pair{position, layers}}) {
        BlockImage image = StackImage(block, end - first);
        for (int32_t i = first; i < end; ++i) {
            if (block.Layer(i).Get(LayerLayout::kEnabled))
                std::memcpy(image.View().Layer(i - first).Bytes(), block.Layer(i).Bytes(), LayerLayout::kLength);
        }
        AppendImage(blocks, image);
    }
    return 1;
}

}  // namespace

bool ShowDialogRequested(const FilterRecord* record) {
    const DescriptorParameters* parameters = record ? record->descriptorParameters : nullptr;
    return !parameters || !parameters->descriptor || parameters->playInfo == kPlayDisplay;
}

int32_t OutputModeOf(uint8_t outputOption, uint8_t layeredMode) {
    using namespace ScriptOutputMode;
    if (outputOption != BlockLayout::kOutputOff)
        return outputOption == BlockLayout::kOutputEachFrameToNewLayer ? kEachFrameToNewLayer : kToNewLayer;
    if (layeredMode != BlockLayout::kLayeredOutputNone) return layeredMode == BlockLayout::kLayeredOutputMask ? kMask : kLayers;
    return kMerged;
}

SPErr AppendListData(DescriptorListRef list, int64_t length, const uint8_t* image) {
    constexpr int64_t kStart = ParameterHeader::kScriptCopyStart;
    if (length < kStart || length - kStart > INT32_MAX) return kSPBadParameterError;
    return GetDescriptorListSuite()->PutData(list, static_cast<int32_t>(length - kStart), image + kStart);
}

bool IsNoDialogCall() {
    Handle flat = DescriptorHandle();
    if (!flat) return false;
    const DescriptorSuite* suite = GetDescriptorSuite();
    ScopedDescriptor descriptor(suite);
    ThrowIfSuiteError(suite->HandleToDescriptor(flat, descriptor.Out()));
    return HasKey(suite, descriptor.Get(), 'Txlt');
}

ErrorCode ReadScriptParams(ScriptState& script) {
    script = ScriptState{};
    if (!DescriptorHandle()) {
        if (ShowDialogRequested(HostCall::Current().record)) return Err::None;
        ThrowBadParameters();
    }
    const DescriptorSuite* suite = GetDescriptorSuite();
    ScopedDescriptor descriptor(suite);
    ThrowIfSuiteError(suite->HandleToDescriptor(DescriptorHandle(), descriptor.Out()));
    if (HasKey(suite, descriptor.Get(), 'FrMP')) {
        if (const ErrorCode invalid = InstallParameterBlob(suite, descriptor.Get())) {
            // The defaults hold no layers: the photo position and frame paths of the refused
            // settings do not apply to them.
            if (const ErrorCode refused = UseDefaultsForCorruptSettings(invalid)) return refused;
        } else {
            if (HasKey(suite, descriptor.Get(), 'TLPs')) ReadPhotoPosition(suite, descriptor.Get());
            MakeFramePathsAbsolute();
        }
    }
    ReadProcessFlags(suite, descriptor.Get(), script);
    return Err::None;
}

void WriteScriptParams() {
    FilterRecord* record = HostCall::Current().record;
    if (!record->parameters || !record->descriptorParameters) return;
    // A host that hands over descriptor parameters without the suites to write them records no
    // settings: the run itself has succeeded and stays a success.
    const DescriptorSuite* suite = nullptr;
    const DescriptorListSuite* listSuite = nullptr;
    try {
        suite = GetDescriptorSuite();
        listSuite = GetDescriptorListSuite();
    } catch (const SuiteAccessException&) {
        return;
    }
    if (!suite || !listSuite) return;
    ScopedDescriptor descriptor(suite);
    ScopedList blocks(listSuite), names(listSuite);
    ThrowIfSuiteError(suite->Make(descriptor.Out()));
    ThrowIfSuiteError(listSuite->Make(blocks.Out()));
    ThrowIfSuiteError(listSuite->Make(names.Out()));

    int32_t mode = 0;
    {
        const LockedParameters parameters;
        const ParameterBlockView block = parameters.View();
        // From the scripting copy's start: S + the prefix's last bytes.
        constexpr int64_t kStart = ParameterHeader::kScriptCopyStart;
        const int64_t length = std::min<int64_t>(block.Block().Get(BlockLayout::kSize) + ParameterHeader::kRunTimePrefix - kStart,
                                                 block.Length() - kStart);
        ThrowIfSuiteError(suite->PutData(descriptor.Get(), 'FrMP', static_cast<int32_t>(length), block.Bytes() + kStart));
        mode = OutputModeOf(block.Block().Get(BlockLayout::kOutputOption), block.Block().Get(BlockLayout::kLayeredOutputMode));
    }
    ThrowIfSuiteError(suite->PutInteger(descriptor.Get(), 'Rslt', mode));
    if (mode == ScriptOutputMode::kToNewLayer || mode == ScriptOutputMode::kEachFrameToNewLayer ||
        mode == ScriptOutputMode::kLayers) {
        const int32_t position = BuildScriptDescriptor(blocks.Get(), names.Get());
        ThrowIfSuiteError(suite->PutList(descriptor.Get(), 'FrpM', blocks.Get()));
        if (mode == ScriptOutputMode::kEachFrameToNewLayer)
            ThrowIfSuiteError(suite->PutList(descriptor.Get(), 'FrnM', names.Get()));
        ThrowIfSuiteError(suite->PutInteger(descriptor.Get(), 'TLPs', position));
    }
    DescriptorParameters* parameters = record->descriptorParameters;
    if (parameters->descriptor && HasProc(record->handleProcs, &HandleProcs::disposeHandle)) {
        record->handleProcs->disposeHandle(parameters->descriptor);
        parameters->descriptor = nullptr;
    }
    ThrowIfSuiteError(suite->AsHandle(descriptor.Get(), &parameters->descriptor));
}
