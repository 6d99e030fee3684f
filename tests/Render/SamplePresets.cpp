#include "SamplePresets.h"

#include <cstdlib>

#include "BigEndian.h"
#include "File.h"
#include "PropertyListFile.h"
#include "SettingsDefaults.h"
#include "SettingsLayout.h"

namespace {

// An empty block of `layers` shape layers with every record at its defaults.
std::vector<uint8_t> DefaultStack(int32_t layers) {
    const int64_t size = ParameterBlockView::SizeFor(layers, 0);
    std::vector<uint8_t> bytes(static_cast<size_t>(size + ParameterHeader::kRunTimePrefix), 0);
    const ParameterBlockView block(bytes.data(), static_cast<int64_t>(bytes.size()));
    const RecordRef b = block.Block();
    b.Set(BlockLayout::kSize, static_cast<uint16_t>(size));
    bytes[11] = 12;
    BigEndian::Write32(&bytes[12], 'qvxq');
    b.Set(BlockLayout::kLayerCount, static_cast<int16_t>(layers));
    // The frames are drawn into the photo itself, not handed to the host as layers.
    b.Set(BlockLayout::kOutputOption, 0);
    SettingsResetBackgroundPlacement(block);
    for (int32_t i = 0; i < layers; ++i) {
        SettingsDefaultLayerHead(block.Layer(i));
        SettingsInitLayerRecord(block.Layer(i), false);
    }
    return bytes;
}

RecordRef LayerOf(std::vector<uint8_t>& bytes, int32_t i) {
    return ParameterBlockView(bytes.data(), static_cast<int64_t>(bytes.size())).Layer(i);
}

void TurnOn(RecordRef layer, int32_t effect) { EffectOf(layer, effect).Set(EffectLayout::kOn, 1); }

void SetColour(RecordRef colour, uint16_t r, uint16_t g, uint16_t b) {
    colour.Set(ColourLayout::Component(0), r);
    colour.Set(ColourLayout::Component(1), g);
    colour.Set(ColourLayout::Component(2), b);
}

void SetShape(RecordRef layer, uint16_t kind) { ShapeOf(layer).Set(ShapeLayout::kKind, kind); }

SamplePreset EllipseShadow() {
    // One ellipse, its shadow on, everything else as a new layer has it: the benchmark's reference.
    SamplePreset p{"ellipse-shadow", DefaultStack(1), 1};
    TurnOn(LayerOf(p.block, 0), EffectLayout::kShadow);
    return p;
}

SamplePreset RoundedRectangle() {
    SamplePreset p{"rounded-rectangle", DefaultStack(1), 1};
    const RecordRef layer = LayerOf(p.block, 0);
    SetShape(layer, 2);
    ShapeOf(layer).Set(ShapeLayout::kCorner, 25);
    layer.Set(LayerLayout::kScaleX, 0.85f);
    layer.Set(LayerLayout::kScaleY, 0.85f);
    TurnOn(layer, EffectLayout::kBorder);
    TurnOn(layer, EffectLayout::kGlow);
    EffectOf(layer, EffectLayout::kGlow).Set(EffectLayout::kSize, 0.03f);
    SetColour(EffectOf(layer, EffectLayout::kBackground).Sub(EffectLayout::kColour), 40, 60, 90);
    SetColour(EffectOf(layer, EffectLayout::kBorder).Sub(EffectLayout::kColour), 220, 190, 120);
    BevelOf(layer).Set(BevelLayout::kOn, 1);
    return p;
}

SamplePreset StarEdges() {
    SamplePreset p{"star-edges", DefaultStack(1), 1};
    const RecordRef layer = LayerOf(p.block, 0);
    SetShape(layer, 4);
    ShapeOf(layer).Set(ShapeLayout::kSides, 6);
    ShapeOf(layer).Set(ShapeLayout::kInset, 70);
    SetColour(EffectOf(layer, EffectLayout::kBackground).Sub(EffectLayout::kColour), 250, 245, 230);
    const RecordRef wave = EdgeOf(layer, 0), diffuse = EdgeOf(layer, 1);
    wave.Set(EdgeLayout::kOn, 1);
    wave.Set(EdgeLayout::kType, 1);
    diffuse.Set(EdgeLayout::kOn, 1);
    diffuse.Set(EdgeLayout::kType, 7);
    diffuse.Set(EdgeLayout::kPatternDepth, 4);
    return p;
}

SamplePreset BlendStack() {
    // Three layers, the photo between the top one and the two beneath it.
    SamplePreset p{"blend-stack", DefaultStack(3), 1};
    struct Layer {
        uint16_t shape, blend;
        float scale;
        uint16_t r, g, b;
    };
    static constexpr Layer kLayers[] = {{1, 3, 0.9f, 250, 200, 120},   // Multiply over the photo
                                        {2, 4, 1.0f, 30, 90, 160},     // Screen beneath it
                                        {6, 11, 1.1f, 200, 40, 60}};   // Difference at the bottom
    for (int32_t i = 0; i < 3; ++i) {
        const RecordRef layer = LayerOf(p.block, i);
        SetShape(layer, kLayers[i].shape);
        layer.Set(LayerLayout::kScaleX, kLayers[i].scale);
        layer.Set(LayerLayout::kScaleY, kLayers[i].scale);
        const RecordRef background = EffectOf(layer, EffectLayout::kBackground);
        background.Set(EffectLayout::kBlendMode, kLayers[i].blend);
        background.Set(EffectLayout::kOpacity, 80);
        SetColour(background.Sub(EffectLayout::kColour), kLayers[i].r, kLayers[i].g, kLayers[i].b);
    }
    TurnOn(LayerOf(p.block, 0), EffectLayout::kShadow);
    return p;
}

// A layer drawn from a frame file of samples/frames, named as presets name frames: relative to
// the frame library (a host run finds them in samples/).
void SetFrameFile(RecordRef layer, std::string_view relativePath) {
    const FileSpec spec = FileSpec::FromRelativePath(relativePath);
    layer.Set(LayerLayout::kRecordId, 0);
    std::copy(spec.bytes, spec.bytes + FileSpec::kSize, layer.At(LayerLayout::kSource));
}

SamplePreset FrameFile() {
    // The ellipse-shadow preset with a frame file in place of the ellipse: the benchmark compares
    // the two.
    SamplePreset p{"frame-file", DefaultStack(1), 1};
    const RecordRef layer = LayerOf(p.block, 0);
    SetFrameFile(layer, "frames\\Oval Mat.jpg");
    TurnOn(layer, EffectLayout::kShadow);
    SetColour(EffectOf(layer, EffectLayout::kBackground).Sub(EffectLayout::kColour), 235, 225, 205);
    return p;
}

SamplePreset ThreePart() {
    // A three-file frame: the wood's own colours (the background colour left in no space, so the
    // frame's inside stays clear) and a shadow falling outside it.
    SamplePreset p{"three-part", DefaultStack(1), 1};
    const RecordRef layer = LayerOf(p.block, 0);
    SetFrameFile(layer, "frames\\Carved.FRR");
    TurnOn(layer, EffectLayout::kShadow);
    EffectOf(layer, EffectLayout::kBackground).Sub(EffectLayout::kColour).Set(ColourLayout::kSpace, int16_t{-1});
    return p;
}

}  // namespace

std::vector<SamplePreset> SamplePresets() {
    return {EllipseShadow(), RoundedRectangle(), StarEdges(), BlendStack(), FrameFile(), ThreePart()};
}

std::string SamplesFolder() {
    const char* source = std::getenv("QUORVEL_SOURCE");
    std::string path = std::string("Z:") + (source ? source : "") + "/samples";
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

bool WriteSamplePreset(const SamplePreset& preset, const std::string& path) {
    PropertyListFile file(path);
    const std::span<const uint8_t> settings(preset.block.data() + ParameterHeader::kRunTimePrefix,
                                            preset.block.size() - ParameterHeader::kRunTimePrefix);
    return file.HasDictionary() && file.SetFloat("PresetVersion", 1.0f) &&
           file.SetInt("TargetLayerPos", static_cast<uint32_t>(preset.photoPosition)) &&
           file.SetData("QuorvelSettings", settings) && file.Save();
}

bool ReadSamplePreset(const std::string& path, std::vector<uint8_t>& settings, int32_t& photoPosition) {
    const PropertyListFile file(path);
    return file.GetData("QuorvelSettings", settings) && file.GetInt("TargetLayerPos", photoPosition);
}
