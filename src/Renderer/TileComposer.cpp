#include "TileComposer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <emmintrin.h>

#include "RenderArithmetic.h"
#include "RenderGeometry.h"

namespace {

using namespace RenderMath;

constexpr size_t kMaxPasses = 128;

// A selection mask of 255 leaves every 8-bit and 16-bit sample as it is.
constexpr bool FullMaskKeepsSamples() {
    for (uint32_t v = 0; v <= kFull16; ++v) {
        if (v <= 255 && MaskSample(v, 255 * 257, 127) != v) return false;
        if (MaskSample(v, 255 * 257, 255) != v) return false;
    }
    return true;
}
static_assert(FullMaskKeepsSamples());

// Pixels no pass covers come out as the photo (CopyPhoto), unless a route or plane needs the
// full steps.
bool UncoveredPixelsCopyThePhoto(const ComposeLayout& L) {
    const int32_t outSamples = std::min(L.OutputSamples(), kMaxPixelPlanes);
    return !L.maskOutput && !L.layerOutput && !L.MaskPlanesBothSides() && L.inputLayerMasks == 0 &&
           L.inputInvertedMasks == 0 && L.outputLayerMasks == 0 && L.outputInvertedMasks == 0 &&
           (L.photoMerge || L.preview) && std::clamp(L.inputStride, 0, kMaxPixelPlanes) >= outSamples;
}

// Floor modulo: texture coordinates left of or above the image wrap round, never index below 0.
inline int32_t WrapIndex(int64_t v, int32_t size) {
    const int64_t m = v % size;
    return static_cast<int32_t>(m < 0 ? m + size : m);
}

// A pixel's samples; cleared by a few vector stores (a block clear of the whole working state is
// done with a string instruction that costs more than the pixel's sums).
struct alignas(32) Samples {
    uint32_t v[kMaxPixelPlanes];
    uint32_t& operator[](int32_t i) { return v[i]; }
    uint32_t operator[](int32_t i) const { return v[i]; }
    operator uint32_t*() { return v; }
    operator const uint32_t*() const { return v; }
};
inline void Clear(Samples& s) {
    const __m128i zero = _mm_setzero_si128();
    _mm_store_si128(reinterpret_cast<__m128i*>(s.v), zero);
    _mm_store_si128(reinterpret_cast<__m128i*>(s.v + 4), zero);
}

// The per-pixel working state: the photo's samples and the two sets of layers.
struct PixelState {
    Samples S, S8;
    Samples OV, UN;
    Samples E, F;
    uint32_t aOv = 0, aUn = 0;
    uint32_t P = 0;                // union coverage of the layers above the photo
    uint32_t T = kFull8Squared;    // their transmittance

    PixelState() {
        Clear(S);
        Clear(S8);
        Clear(OV);
        Clear(UN);
        Clear(E);
        Clear(F);
    }
};

// Where a pass's per-row sources start on the current row.
struct PassRow {
    const uint8_t* texture = nullptr;  // the texture's row
    const uint8_t* surface = nullptr;  // the bevel's surface texture row (inside its guard)
};

// The pass colour of channel x blended against the photo.
struct BlendRoute {
    bool againstMask;   // the frame-as-mask routes: blend with the photo's last plane
    bool overAlpha;     // output with transparency: weigh the blend by the photo's alpha
};

inline void BlendPass(const ComposePass& pass, const uint8_t* t, const PixelState& st, uint32_t photoAlpha,
                      int32_t inputLast, BlendRoute route, int32_t nc, uint32_t* colour) {
    const uint8_t* table = pass.blendTable;
    if (route.againstMask) {
        for (int32_t x = 0; x < nc; ++x) colour[x] = BlendAgainstMask(table, t[x], st.S8[inputLast]);
    } else if (route.overAlpha) {
        for (int32_t x = 0; x < nc; ++x) colour[x] = BlendOverAlpha(table, t[x], st.S8[x], photoAlpha);
    } else {
        for (int32_t x = 0; x < nc; ++x) colour[x] = BlendOpaque(table, t[x], st.S8[x]);
    }
}

// What a three-part frame's background took of its inner coverage at a pixel (0..255), or
// kNotThreePart for the passes of other layers.
constexpr int32_t kNotThreePart = -1;

// Bevel light on a pass colour: inner light where the bevel covers the pixel (g), outer light or
// the flat gains elsewhere (h = 255 - g). A three-part frame's surface shows only inside the frame,
// where its inner coverage is, and its relief fades with that coverage.
void LightPass(const BevelShading& b, const uint8_t* surfaceTexel, const uint16_t* height, int32_t heightRow,
               uint32_t g, int32_t nc, uint32_t* colour, int32_t innerCoverage = kNotThreePart) {
    const uint32_t h = 255 - g;
    double dx = 0, dy = 0;
    Shading outer, inner;
    bool outerLit = false;
    if (surfaceTexel && innerCoverage != 0 && (g > 0 || b.lightOn)) {
        dx = (int32_t{surfaceTexel[-1]} - surfaceTexel[1]) * b.slopeScale;
        dy = (int32_t{surfaceTexel[-b.surfaceStride]} - surfaceTexel[b.surfaceStride]) * b.slopeScale;
        if (innerCoverage > 0) {
            dx *= innerCoverage / 255.0;
            dy *= innerCoverage / 255.0;
        }
        if (h > 0 && b.lightOn) {
            outer = ShadeNormal(*b.light, dx, dy);
            outerLit = true;
        }
    }
    if (g > 0 && height) {
        dx += (int32_t{height[-1]} - height[1]) * b.heightScale;
        dy += (int32_t{height[-heightRow]} - height[heightRow]) * b.heightScale;
        inner = ShadeNormal(*b.light, dx, dy);
    }
    constexpr int64_t kCeiling = 0xFF0000;
    for (int32_t x = 0; x < nc; ++x) {
        const int64_t k = b.channelGain[x], e = b.highlight[x];
        int64_t lit = 0;
        if (g > 0) lit += std::min((k * inner.diffuse + inner.flat) * colour[x] + e * inner.specular, kCeiling) * g;
        if (outerLit)
            lit += std::min((k * outer.diffuse + outer.flat) * colour[x] + e * outer.specular, kCeiling) * h;
        else if (h > 0)
            lit += std::min((int64_t{b.baseGain[x]} + b.flatTerm) * colour[x] + b.highlightWord[x], kCeiling) * h;
        colour[x] = static_cast<uint32_t>(std::clamp<int64_t>((lit + 0x800000) >> 24, 0, 255));
    }
}

// A three-part frame's background at a pixel: its coverage c widened by the inner coverage i (the
// area the frame encloses, where the background's fill shows), in the frame's colour where the
// frame covers and the fill's inside it, weighed by the two coverages. A background that is not
// opaque (s < 255) keeps the frame's colour and weighs the fill's alpha against the frame's full
// alpha instead. Answers the coverage; c + i > 0.
inline uint32_t MixFrameBackground(const uint8_t* frame, const uint8_t* fill, uint32_t c, uint32_t i, uint32_t& s,
                                   int32_t nc, uint8_t* colour) {
    const uint32_t covered = std::min<uint32_t>(c + i, 255);
    if (i >= 255 && c == 0) {
        std::copy(fill, fill + nc, colour);
        return covered;
    }
    if (i == 0 && c == 255) {
        std::copy(frame, frame + nc, colour);
        s = 255;
        return covered;
    }
    uint32_t wInner = (i << 16) / (c + i), wFrame = (c << 16) / (c + i);
    if (s < 255) {
        s = std::min<uint32_t>((s * wInner + wFrame * 255) >> 16, 255);
        wInner = 0;
        wFrame = 0x10000;
    }
    for (int32_t x = 0; x < nc; ++x)
        colour[x] = static_cast<uint8_t>(std::min<uint32_t>((frame[x] * wFrame + fill[x] * wInner) >> 16, 255));
    return covered;
}

template <typename Sample>
class Composer {
public:
    static constexpr bool k16 = sizeof(Sample) == 2;
    static constexpr uint32_t kMax = k16 ? kFull16 : kFull8;
    static constexpr uint32_t kRound = k16 ? 255 : 127;

    Composer(const ComposeLayout& layout, std::span<const ComposePass> passes, const ComposeBuffers& buffers)
        : L_(layout), passes_(passes), io_(buffers) {
        nc_ = std::clamp(L_.colourChannels, 1, kMaxColourChannels);
        outSamples_ = std::min(L_.OutputSamples(), kMaxPixelPlanes);
        inRead_ = std::clamp(L_.inputStride, 0, kMaxPixelPlanes);
        width_ = io_.rect.right - io_.rect.left;
        height_ = io_.rect.bottom - io_.rect.top;
        routeE_ = L_.maskOutput || L_.layerOutput;
        inLast_ = std::clamp(L_.inputLast, 0, kMaxPixelPlanes - 1);
        outLast_ = std::clamp(L_.outputLast, 0, kMaxPixelPlanes - 1);
        // Frames that go nowhere but to a composite nobody keeps are not drawn at all.
        if (L_.framesToCacheOnly && !io_.cache) passes_ = {};
        photoOnly_ = !io_.cache && UncoveredPixelsCopyThePhoto(L_);
        int32_t layer = -1;
        for (size_t p = 0; p < passes_.size(); ++p) {
            const ComposePass& pass = passes_[p];
            // A three-part frame is not knocked out by its background: its effects are clipped by
            // the frame's own masks instead.
            const int32_t knockOut = pass.knockOutPass;
            knockOut_[p] = !pass.threePart && knockOut >= 0 && static_cast<size_t>(knockOut) < passes_.size() ? knockOut : -1;
            innerCounts_[p] = pass.threePart && pass.kind == 0 && pass.threePart->inner && !pass.threePart->colourSpaceFlag;
            // The steps of a pixel: every pass in order, a three-part frame's background drawn
            // out of order before the first pass of its layer when that layer has inner effects.
            const int32_t before = pass.layer != layer ? BackgroundBefore(p) : -1;
            if (before >= 0) steps_[stepCount_++] = Step{static_cast<uint8_t>(before), true};
            steps_[stepCount_++] = Step{static_cast<uint8_t>(p), false};
            layer = pass.layer;
            const bool flatBevel = pass.bevel && pass.bevel->light && !pass.bevel->surface;
            // A three-part frame's colour comes from its planes, pixel by pixel: never opaque alone.
            opaque_[p] = pass.blendTable && !pass.texture && !pass.underPhoto && pass.weight == 255 && pass.alpha == 255 &&
                         (!pass.bevel || flatBevel) && knockOut_[p] < 0 && !pass.threePart;
            if (flatBevel) BuildFlatLight(p, *pass.bevel);
            const bool maskRoute = L_.maskOutput || (L_.layerOutput && passes_[p].abovePhoto);
            routes_[p] = BlendRoute{L_.outputTransparency && maskRoute, L_.outputTransparency};
            // The layer-output route draws the layers above the photo in its fixed colour; a
            // texture still gives its texels.
            colours_[p] = L_.layerOutput && pass.abovePhoto ? L_.layerOutputColour : pass.colour;
        }
    }

    void Run() {
        // Each row is first sorted into runs, sixteen pixels at a time: runs no pass covers come
        // out as the photo and are copied whole; runs that one opaque pass covers wholly take its
        // blended colour with no further test; only the rest go through the full steps.
        std::vector<uint8_t> kinds(photoOnly_ ? static_cast<size_t>(width_) : 0);
        for (int32_t y = 0; y < height_; ++y) {
            const int32_t row = io_.rect.top + y;
            const auto* in = reinterpret_cast<const Sample*>(static_cast<const uint8_t*>(io_.input) + y * io_.inputRowBytes);
            auto* out = reinterpret_cast<Sample*>(static_cast<uint8_t*>(io_.output) + y * io_.outputRowBytes);
            const uint8_t* mask = io_.mask ? io_.mask + y * io_.maskRowBytes : nullptr;
            StartRow(row);
            const int64_t first = int64_t{y} * width_;
            if (!photoOnly_) {
                for (int32_t x = 0; x < width_; ++x, in += L_.inputStride, out += L_.outputStride)
                    ComposePixel(in, out, mask ? int32_t{mask[x]} : -1, first + x, x, y);
                continue;
            }
            SortRow(first, mask, kinds.data());
            for (int32_t x = 0; x < width_;) {
                const uint8_t kind = kinds[x];
                const int32_t end = RunEnd(kinds.data(), x, width_);
                const Sample* from = in + int64_t{x} * L_.inputStride;
                Sample* to = out + int64_t{x} * L_.outputStride;
                if (kind == kUncovered) {
                    CopyPhotoRun(from, to, end - x);
                } else if (kind != kFullSteps) {
                    OpaqueFrameRun(kind - 1u, from, to, end - x);
                } else {
                    for (int32_t i = x; i < end; ++i, from += L_.inputStride, to += L_.outputStride)
                        ComposePixel(from, to, mask ? int32_t{mask[i]} : -1, first + i, i, y);
                }
                x = end;
            }
        }
    }

private:
    // The kinds of pixel SortRow tells apart: no pass covers it; one opaque pass p covers it
    // wholly (kind p + 1, outside its bevel, under a full selection or none); anything else.
    static constexpr uint8_t kUncovered = 0;
    static constexpr uint8_t kFullSteps = 255;
    static_assert(kMaxPasses < kFullSteps);

    // kinds[x] for every pixel of the row that starts at `first`. A pass knocked out by its
    // background counts as covering here, so its pixels take the full steps, which know better; so
    // does a three-part frame's background wherever its inner coverage reaches.
    void SortRow(int64_t first, const uint8_t* mask, uint8_t* kinds) const {
        const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi8(static_cast<char>(0xFF));
        int32_t x = 0;
        for (; x + 16 <= width_; x += 16) {
            __m128i covering = zero, single = zero;  // how many passes cover; which covers opaquely
            for (size_t p = 0; p < passes_.size(); ++p) {
                __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(passes_[p].coverage + first + x));
                if (innerCounts_[p])
                    c = _mm_or_si128(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(passes_[p].threePart->inner + first + x)));
                covering = _mm_sub_epi8(covering, _mm_andnot_si128(_mm_cmpeq_epi8(c, zero), full));
                if (!opaque_[p]) continue;
                __m128i whole = _mm_cmpeq_epi8(c, full);
                const BevelShading* bevel = passes_[p].bevel;
                if (bevel && bevel->coverage) {
                    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bevel->coverage + first + x));
                    whole = _mm_and_si128(whole, _mm_cmpeq_epi8(g, zero));
                }
                const __m128i index = _mm_set1_epi8(static_cast<char>(p + 1));
                single = _mm_or_si128(_mm_and_si128(whole, index), _mm_andnot_si128(whole, single));
            }
            const __m128i alone = _mm_cmpeq_epi8(covering, _mm_set1_epi8(1));
            __m128i opaque = _mm_andnot_si128(_mm_cmpeq_epi8(single, zero), alone);
            if (mask) opaque = _mm_and_si128(opaque, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + x)), full));
            const __m128i none = _mm_cmpeq_epi8(covering, zero);
            // none: 0; opaque: the pass; else the full steps.
            const __m128i kind = _mm_or_si128(_mm_and_si128(opaque, single), _mm_andnot_si128(_mm_or_si128(opaque, none), full));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(kinds + x), kind);
        }
        for (; x < width_; ++x) {
            int32_t covering = 0, single = 0;
            for (size_t p = 0; p < passes_.size(); ++p) {
                const uint8_t c = passes_[p].coverage[first + x];
                covering += Touches(p, first + x);
                const BevelShading* bevel = passes_[p].bevel;
                if (opaque_[p] && c == 255 && !(bevel && bevel->coverage && bevel->coverage[first + x] != 0))
                    single = static_cast<int32_t>(p) + 1;
            }
            const bool opaque = covering == 1 && single != 0 && (!mask || mask[x] == 255);
            kinds[x] = covering == 0 ? kUncovered : opaque ? static_cast<uint8_t>(single) : kFullSteps;
        }
    }

    // The end of the run of equal kinds that starts at `from`.
    static int32_t RunEnd(const uint8_t* kinds, int32_t from, int32_t to) {
        const uint8_t kind = kinds[from];
        int32_t x = from + 1;
        const __m128i same = _mm_set1_epi8(static_cast<char>(kind));
        for (; x + 16 <= to; x += 16) {
            const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kinds + x));
            const int stops = ~_mm_movemask_epi8(_mm_cmpeq_epi8(k, same)) & 0xFFFF;
            if (stops) return x + __builtin_ctz(static_cast<unsigned>(stops));
        }
        while (x < to && kinds[x] == kind) ++x;
        return x;
    }

    void OpaqueFrameRun(size_t p, const Sample* in, Sample* out, int32_t count) const {
        for (int32_t i = 0; i < count; ++i, in += L_.inputStride, out += L_.outputStride) OpaqueFrame(p, in, out);
    }

    // A run no pass covers: the photo, as CopyPhoto gives it pixel by pixel. When input and
    // output pixels are the colour samples alone, that is a copy of the run's bytes.
    void CopyPhotoRun(const Sample* in, Sample* out, int32_t count) const {
        if (!L_.outputTransparency && L_.inputStride == nc_ && L_.outputStride == nc_) {
            std::memcpy(out, in, static_cast<size_t>(count) * nc_ * sizeof(Sample));
            return;
        }
        for (int32_t i = 0; i < count; ++i, in += L_.inputStride, out += L_.outputStride) CopyPhoto(in, out);
    }

    void StartRow(int32_t row) {
        const int64_t step = int64_t{L_.textureStep} * row;
        for (size_t p = 0; p < passes_.size(); ++p) {
            const ComposePass& pass = passes_[p];
            if (pass.texture && pass.texture->width > 0 && pass.texture->height > 0)
                rows_[p].texture = pass.texture->pixels + WrapIndex(step, pass.texture->height) * pass.texture->rowBytes;
            const BevelShading* b = pass.bevel;
            if (b && b->surface && b->surfaceWidth > 0 && b->surfaceHeight > 0)
                rows_[p].surface = b->surface + (int64_t{WrapIndex(step, b->surfaceHeight)} + 1) * b->surfaceStride + 1;
        }
    }

    void ComposePixel(const Sample* in, Sample* out, int32_t mask, int64_t index, int32_t x, int32_t y) {
        if (photoOnly_ && (mask < 0 || mask == 255)) {
            // Pixels no pass covers, and pixels one opaque pass covers wholly, take short cuts (a
            // full selection leaves the samples as they are).
            int32_t covering = -1;
            if (Covering(index, covering)) {
                if (covering < 0) CopyPhoto(in, out);
                else OpaqueFrame(static_cast<size_t>(covering), in, out);
                return;
            }
        } else if (photoOnly_ && Uncovered(index)) {
            CopyPhoto(in, out);
            return;
        }
        PixelState st;
        for (int32_t i = 0; i < inRead_; ++i) {
            st.S[i] = in[i];
            st.S8[i] = k16 ? Narrow16(in[i]) : in[i];
        }
        const uint32_t photoAlpha = L_.outputTransparency ? st.S8[nc_] : 255;
        const int64_t column = int64_t{L_.textureStep} * (io_.rect.left + x);
        for (size_t k = 0; k < stepCount_; ++k) AddPass(steps_[k].pass, st, photoAlpha, index, column, x, y, steps_[k].outOfOrder);
        Finish(st, out, mask, index);
    }

    // True when no pass covers the pixel (covering -1) or exactly one opaque pass covers it wholly
    // (covering its index), outside its bevel when it has one; wholly knocked-out passes count as
    // not covering.
    bool Covering(int64_t index, int32_t& covering) const {
        covering = -1;
        for (size_t p = 0; p < passes_.size(); ++p) {
            const uint32_t c = passes_[p].coverage[index];
            if (!Touches(p, index) || KnockedOut(p, index)) continue;
            if (covering >= 0 || c != 255 || !opaque_[p]) return false;
            const BevelShading* bevel = passes_[p].bevel;
            if (bevel && bevel->coverage && bevel->coverage[index] != 0) return false;
            covering = static_cast<int32_t>(p);
        }
        return true;
    }

    // A pass knocked out wholly by its layer's background (q = 255 makes its weight 0) adds
    // nothing to the set; it only changes the union coverage, which an opaque result never reads.
    bool KnockedOut(size_t p, int64_t index) const {
        return knockOut_[p] >= 0 && passes_[knockOut_[p]].coverage[index] == 255;
    }

    // True when pass p may add something to the pixel: its coverage, or for a three-part frame's
    // background the inner coverage it takes as well.
    bool Touches(size_t p, int64_t index) const {
        return passes_[p].coverage[index] != 0 || (innerCounts_[p] && passes_[p].threePart->inner[index] != 0);
    }

    // The background pass a three-part frame with effects on the inner side draws before the
    // first pass of its layer, beneath those effects (its fill inside the frame); it draws again
    // in its own place, in the frame's colour alone, above them. -1 for none.
    int32_t BackgroundBefore(size_t p) const {
        const ThreePartPlanes* frame = passes_[p].threePart;
        if (!frame || !frame->innerEffects || frame->colourSpaceFlag) return -1;
        const int32_t b = frame->backgroundPass;
        if (b < 0 || static_cast<size_t>(b) >= passes_.size()) return -1;
        const ComposePass& background = passes_[b];
        return background.kind == 0 && background.threePart && background.layer == passes_[p].layer ? b : -1;
    }

    // The bevel light where the bevel does not reach (g = 0, no surface texture) depends on the
    // colour alone: ((min((base gain + flat) v + highlight, 0xFF0000) x 255 + 0x800000) >> 24.
    void BuildFlatLight(size_t p, const BevelShading& b) {
        if (flatLight_.empty()) flatLight_.resize(passes_.size() * kMaxColourChannels * 256);
        uint8_t* table = &flatLight_[p * kMaxColourChannels * 256];
        for (int32_t c = 0; c < nc_; ++c)
            for (uint32_t v = 0; v < 256; ++v) {
                uint32_t colour[kMaxColourChannels] = {};
                colour[c] = v;
                uint32_t lit[kMaxColourChannels];
                std::copy(colour, colour + kMaxColourChannels, lit);
                LightPass(b, nullptr, nullptr, 0, 0, nc_, lit);
                table[c * 256 + v] = static_cast<uint8_t>(lit[c]);
            }
    }

    // What the full steps give for a pixel wholly covered by one opaque pass above the photo: the
    // set's colour is the blended pass colour with alpha 255, so the photo's weight
    // max(0, m_ph (255 - n_ph) A_ph - 255 x 65025) is 0 and the output is that colour, opaque.
    void OpaqueFrame(size_t p, const Sample* in, Sample* out) const {
        const ComposePass& pass = passes_[p];
        const BlendRoute route = routes_[p];
        const uint8_t* lit = pass.bevel ? &flatLight_[p * kMaxColourChannels * 256] : nullptr;
        uint32_t s8[kMaxPixelPlanes];
        for (int32_t c = 0; c < inRead_; ++c) s8[c] = k16 ? Narrow16(in[c]) : in[c];
        const uint32_t photoAlpha = L_.outputTransparency ? s8[nc_] : 255;
        const uint8_t* table = pass.blendTable;
        for (int32_t c = 0; c < nc_; ++c) {
            const uint32_t t = colours_[p][c];
            uint32_t v = route.overAlpha ? BlendOverAlpha(table, t, s8[c], photoAlpha) : BlendOpaque(table, t, s8[c]);
            if (lit) v = lit[c * 256 + v];
            out[c] = static_cast<Sample>(k16 ? Widen8Masked(v) : v);
        }
        if (L_.outputTransparency) out[nc_] = static_cast<Sample>(kMax);
    }

    bool Uncovered(int64_t index) const {
        for (size_t p = 0; p < passes_.size(); ++p)
            if (Touches(p, index)) return false;
        return true;
    }

    // What the full steps give for a pixel no pass covers: with no layer in either set the photo
    // merge weighs the photo alone (its colour wherever its alpha is above 0, else 0) and keeps its
    // alpha: (65025 a + 32385) / 65025 and (2^30 a + 2^29) >> 30 are a.
    void CopyPhoto(const Sample* in, Sample* out) const {
        const bool visible = !L_.outputTransparency || in[nc_] > 0;
        for (int32_t c = 0; c < nc_; ++c) out[c] = visible ? in[c] : Sample{0};
        if (L_.outputTransparency) out[nc_] = in[nc_];
    }

    // Pass p at one pixel. outOfOrder: a three-part frame's background drawn before the first pass
    // of its layer (BackgroundBefore).
    void AddPass(size_t p, PixelState& st, uint32_t photoAlpha, int64_t index, int64_t column, int32_t x, int32_t y,
                 bool outOfOrder) {
        const ComposePass& pass = passes_[p];
        if (!pass.blendTable) return;
        uint32_t c = pass.coverage[index];
        uint32_t s = pass.alpha;
        const uint8_t* t = nullptr;
        int32_t inner = kNotThreePart;
        uint8_t mixed[kMaxColourChannels];
        if (pass.threePart) {
            t = Fill(p, column);
            inner = ThreePartPixel(p, index, outOfOrder, c, s, t, mixed);
        }
        if (c == 0) {  // adds nothing; an opaque colour still resets what shows through
            if (!pass.underPhoto && s == 255) st.T = kFull8Squared;
            return;
        }
        if (!t) t = Fill(p, column);
        uint32_t colour[kMaxColourChannels];
        BlendPass(pass, t, st, photoAlpha, inLast_, routes_[p], nc_, colour);
        if (pass.bevel) Light(p, *pass.bevel, index, column, x, y, colour, inner);
        uint32_t m = pass.weight * c;
        if (knockOut_[p] >= 0) m = KnockOut(m, passes_[knockOut_[p]].coverage[index]);
        if (pass.underPhoto) {
            Accumulate(st.UN, st.aUn, colour, nc_, s, m);
        } else {
            Accumulate(st.OV, st.aOv, colour, nc_, s, m);
            st.P = UnionCoverage(st.P, c, m);
            st.T = Transmit(st.T, s, m);
        }
    }

    // The pass's own colour at a column: its texture's texel, or its colour bytes.
    const uint8_t* Fill(size_t p, int64_t column) const {
        if (!rows_[p].texture) return colours_[p];
        return rows_[p].texture + int64_t{WrapIndex(column, passes_[p].texture->width)} * nc_;
    }

    // A three-part frame's pass at one pixel: the background takes the inner coverage (where its
    // fill shows) unless the layer's inner effects draw it out of order, and mixes the frame's
    // colour with its fill into `mixed`; outer glows and shadows are clipped to the outer mask,
    // inner ones to the inner mask. Answers the inner coverage the pass took (0 for none).
    int32_t ThreePartPixel(size_t p, int64_t index, bool outOfOrder, uint32_t& c, uint32_t& s, const uint8_t*& colour,
                           uint8_t* mixed) const {
        const ComposePass& pass = passes_[p];
        const ThreePartPlanes& frame = *pass.threePart;
        switch (pass.kind) {
        case 0: {
            const uint32_t i = innerCounts_[p] && (!frame.innerEffects || outOfOrder) ? frame.inner[index] : 0;
            if (c + i == 0) return 0;
            static constexpr uint8_t kNoColour[kMaxColourChannels] = {};
            const uint8_t* frameColour = frame.colour ? frame.colour + index * nc_ : kNoColour;
            c = MixFrameBackground(frameColour, colour, c, i, s, nc_, mixed);
            colour = mixed;
            return static_cast<int32_t>(i);
        }
        case 2:
        case 3:
            c &= frame.outer ? frame.outer[index] : 0;
            return 0;
        case -2:
        case -3:
            c &= frame.inner ? frame.inner[index] : 0;
            return 0;
        default:
            return 0;
        }
    }

    void Light(size_t p, const BevelShading& b, int64_t index, int64_t column, int32_t x, int32_t y, uint32_t* colour,
               int32_t innerCoverage) {
        if (!b.light) return;
        const uint32_t g = b.coverage ? b.coverage[index] : 0;
        const uint8_t* surface = rows_[p].surface ? rows_[p].surface + WrapIndex(column, b.surfaceWidth) : nullptr;
        const int32_t heightRow = width_ + 2;
        const uint16_t* height = b.heights ? b.heights + int64_t{y + 1} * heightRow + x + 1 : nullptr;
        LightPass(b, surface, height, heightRow, g, nc_, colour, innerCoverage);
    }

    void Finish(PixelState& st, Sample* out, int32_t mask, int64_t index) {
        const int32_t nc = nc_, O = outSamples_;
        st.OV[nc] = st.aOv;
        st.UN[nc] = st.aUn;
        if (io_.cache) {
            uint8_t* cache = io_.cache + index * (nc + 1);
            for (int32_t c = 0; c < nc; ++c) cache[c] = static_cast<uint8_t>(st.OV[c]);
            cache[nc] = static_cast<uint8_t>(mask >= 0 ? ((mask * st.aOv + 127) * 257) >> 16 : st.aOv);
        }
        // Kept for the new layer, the frames leave the output to the photo.
        if (L_.framesToCacheOnly) ClearSets(st);
        if constexpr (k16) {
            for (int32_t c = 0; c < O; ++c) {
                st.OV[c] = Widen8Masked(st.OV[c]);
                st.UN[c] = Widen8Masked(st.UN[c]);
            }
        }
        if (routeE_) MaskRoute(st, mask);
        if (mask >= 0) {
            const uint32_t k = uint32_t(mask) * 257;
            for (int32_t c = 0; c < O; ++c) {
                if (!routeE_) st.E[c] = MaskSample(st.OV[c], k, kRound);
                st.F[c] = MaskSample(st.UN[c], k, kRound);
            }
        } else {
            for (int32_t c = 0; c < O; ++c) {
                if (!routeE_) st.E[c] = st.OV[c];
                st.F[c] = st.UN[c];
            }
        }
        const bool maskPlanes = L_.MaskPlanesBothSides();
        if (maskPlanes) {
            if (!routeE_) st.E[outLast_] = st.S[inLast_];
            st.F[outLast_] = st.S[inLast_];
        }
        if (mask >= 0 && !L_.outputTransparency) {
            // Without a transparency plane the sets' alphas weigh the frame against the photo:
            // the selection masks them as it masks the colours, or a pixel outside the selection
            // would take the masked (black) frame colour at the frame's full weight.
            st.aOv = MaskSample(st.aOv, uint32_t(mask) * 257, 127);
            st.aUn = MaskSample(st.aUn, uint32_t(mask) * 257, 127);
        }
        if (L_.photoMerge || L_.preview) MergePhoto(st);
        for (int32_t c = 0; c < O; ++c) out[c] = static_cast<Sample>(st.E[c]);
        if (maskPlanes) out[outLast_] = static_cast<Sample>(st.E[outLast_]);
    }

    // Nothing drawn above or beneath the photo.
    static void ClearSets(PixelState& st) {
        Clear(st.OV);
        Clear(st.UN);
        st.aOv = st.aUn = 0;
        st.P = 0;
        st.T = kFull8Squared;
    }

    // The frame laid over the photo's mask or transparency as a grey level.
    void MaskRoute(PixelState& st, int32_t mask) {
        const int32_t nc = nc_;
        const uint32_t last = st.S[inLast_];
        if (st.P < 255) {
            const uint64_t wo = uint64_t{st.aOv} * 255, wp = uint64_t{255 - st.P} * 255, w = wo + wp;
            for (int32_t c = 0; c < nc; ++c) st.OV[c] = static_cast<uint32_t>((wo * st.OV[c] + w / 2 + uint64_t{last} * wp) / w);
            if (L_.outputTransparency) st.OV[nc] = ((last * (255 - st.P) + st.aOv * kMax + kRound) * 257) >> 16;
        }
        for (int32_t c = 0; c < outSamples_; ++c) st.E[c] = st.S[c];
        uint32_t colour8[kMaxColourChannels];
        for (int32_t c = 0; c < nc; ++c) colour8[c] = k16 ? Narrow16(st.OV[c]) : st.OV[c];
        uint32_t grey = io_.grey ? io_.grey(io_.greyContext, colour8, nc) : colour8[0];
        if constexpr (k16) grey = Widen8(grey);
        st.E[outLast_] = mask == 0 ? st.S[inLast_] : grey;
    }

    void MergePhoto(PixelState& st) {
        if constexpr (k16) MergePhoto16(st);
        else MergePhoto8(st);
    }

    // The photo's mask m_ph and inverted mask n_ph, and the mask the layers beneath it see.
    void PhotoMasks(const PixelState& st, uint32_t& mph, uint32_t& nph, uint32_t& under) const {
        const int32_t nc = nc_;
        mph = L_.inputLayerMasks > 0 ? st.S[std::min(nc + 1, kMaxPixelPlanes - 1)] : kMax;
        nph = L_.inputInvertedMasks > 0 ? st.S[std::min(nc + 1 + L_.inputLayerMasks, kMaxPixelPlanes - 1)] : 0;
        under = routeE_ && L_.outputLayerMasks > 0 ? st.E[std::min(nc + 1, kMaxPixelPlanes - 1)] : mph;
    }

    void MaxMasks(PixelState& st) const {
        const int32_t nc = nc_;
        if (L_.outputLayerMasks > 0 && nc + 1 < kMaxPixelPlanes) st.E[nc + 1] = std::max(st.E[nc + 1], st.F[nc + 1]);
        const int32_t inverted = nc + 1 + L_.outputLayerMasks;
        if (L_.outputInvertedMasks > 0 && inverted < kMaxPixelPlanes) st.E[inverted] = std::max(st.E[inverted], st.F[inverted]);
    }

    void MergePhoto8(PixelState& st) {
        const int32_t nc = nc_;
        if (!L_.outputTransparency) {
            st.E[nc] = st.aOv;
            st.F[nc] = st.aUn;
        }
        uint32_t mph, nph, under;
        PhotoMasks(st, mph, nph, under);
        const uint32_t photoAlpha = L_.outputTransparency ? st.S8[nc] : 255;
        const int64_t wo = int64_t{st.E[nc]} * kFull8Squared;
        const int64_t wp = std::max<int64_t>(0, int64_t{mph} * (255 - int64_t{nph}) * photoAlpha - wo);
        const int64_t w = wo + wp;
        MixColours(st.E, st.S, wp, wo, w);
        const uint32_t t = (st.T + 127) / 255;
        if (L_.transmittanceAlpha && L_.outputTransparency && t < 255) {
            if (st.P < 255) st.E[nc] = (st.S[nc] * t + 127) / 255;
        } else {
            st.E[nc] = static_cast<uint32_t>((w + 32385) / kFull8Squared);
        }
        if (!L_.layersUnderPhoto) return;
        const int64_t wu = int64_t{under} * (255 - int64_t{nph}) * st.E[nc];
        const int64_t wf = std::max<int64_t>(0, int64_t{st.F[nc]} * kFull8Squared - wu);
        const int64_t w2 = wf + wu;
        if (w2 > 0) {
            MixColours(st.E, st.F, wf, wu, w2);
            if (L_.outputTransparency) st.E[nc] = static_cast<uint32_t>((w2 + 32385) / kFull8Squared);
        }
        MaxMasks(st);
    }

    void MergePhoto16(PixelState& st) {
        const int32_t nc = nc_;
        if (!L_.outputTransparency) {
            st.E[nc] = Widen8Masked(st.aOv);
            st.F[nc] = Widen8Masked(st.aUn);
        }
        uint32_t mph, nph, under;
        PhotoMasks(st, mph, nph, under);
        const int64_t photoAlpha = L_.outputTransparency ? st.S[nc] : kFull16;
        const int64_t wo = int64_t{st.E[nc]} << 30;
        const int64_t wp = std::max<int64_t>(0, int64_t{mph} * photoAlpha * (kFull16 - int64_t{nph}) - wo);
        const int64_t w = wo + wp;
        MixColours(st.E, st.S, wp, wo, w);
        const uint32_t t = (st.T + 127) / 255;
        if (L_.transmittanceAlpha && L_.outputTransparency && t < 255) {
            if (st.P < 255) st.E[nc] = (st.S[nc] * ((t * 32897) >> 8) + 16384) >> 15;
        } else {
            st.E[nc] = static_cast<uint32_t>((w + 0x20000000) >> 30);
        }
        if (!L_.layersUnderPhoto) return;
        const int64_t wu = int64_t{under} * (kFull16 - int64_t{nph}) * st.E[nc];
        const int64_t wf = std::max<int64_t>(0, (int64_t{st.F[nc]} << 30) - wu);
        const int64_t w2 = wf + wu;
        if (w2 > 0) {
            MixColours(st.E, st.F, wf, wu, w2);
            if (L_.outputTransparency) st.E[nc] = static_cast<uint32_t>((w2 + 0x20000000) >> 30);
        }
        MaxMasks(st);
    }

    // dst[c] := (src[c] x wSrc + dst[c] x wDst + w/2) / w for the colour channels; the two ends
    // (nothing of one side) are exact without the division.
    void MixColours(uint32_t* dst, const uint32_t* src, int64_t wSrc, int64_t wDst, int64_t w) const {
        if (w <= 0 || wSrc == 0) return;
        if (wDst == 0) {
            std::copy(src, src + nc_, dst);
            return;
        }
        for (int32_t c = 0; c < nc_; ++c)
            dst[c] = static_cast<uint32_t>((int64_t{src[c]} * wSrc + int64_t{dst[c]} * wDst + w / 2) / w);
    }

    const ComposeLayout& L_;
    std::span<const ComposePass> passes_;
    const ComposeBuffers& io_;
    int32_t nc_ = 3, outSamples_ = 3, inRead_ = 3, width_ = 0, height_ = 0, inLast_ = 0, outLast_ = 0;
    bool routeE_ = false;
    bool photoOnly_ = false;
    std::array<bool, kMaxPasses> opaque_{};  // the pass alone, wholly covering, makes an opaque frame
    std::array<int32_t, kMaxPasses> knockOut_{};  // the background that knocks the pass out, or -1
    std::array<bool, kMaxPasses> innerCounts_{};  // a three-part frame's background that takes its inner coverage
    struct Step {
        uint8_t pass;
        bool outOfOrder;  // a three-part frame's background drawn before its layer's first pass
    };
    static_assert(kMaxPasses <= 256);
    std::array<Step, 2 * kMaxPasses> steps_{};  // the passes a pixel goes through, in order
    size_t stepCount_ = 0;
    std::vector<uint8_t> flatLight_;         // per bevelled pass: its light where the bevel does not reach
    std::array<BlendRoute, kMaxPasses> routes_{};
    std::array<const uint8_t*, kMaxPasses> colours_{};  // each pass's colour bytes
    std::array<PassRow, kMaxPasses> rows_{};
};

}  // namespace

void ComposeTilePixels(const ComposeLayout& layout, std::span<const ComposePass> passes, const ComposeBuffers& buffers) {
    if (buffers.rect.bottom <= buffers.rect.top || buffers.rect.right <= buffers.rect.left) return;
    passes = passes.first(std::min(passes.size(), kMaxPasses));
    if (layout.sixteenBit) Composer<uint16_t>(layout, passes, buffers).Run();
    else Composer<uint8_t>(layout, passes, buffers).Run();
}

bool UncoveredPixelsKeepThePhoto(const ComposeLayout& layout) {
    // CopyPhoto writes the colour samples as they are and the transparency as it is, but clears
    // the colour of a pixel whose transparency is 0.
    return UncoveredPixelsCopyThePhoto(layout) && !layout.outputTransparency;
}

void ApplyPassMask(uint8_t* coverage, const uint8_t* mask, const uint8_t* maskBevel, uint32_t opacity, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        const int32_t m = maskBevel ? std::max(0, int32_t{mask[i]} - maskBevel[i]) : mask[i];
        coverage[i] = static_cast<uint8_t>(MaskedCoverage(coverage[i], static_cast<uint32_t>(m), opacity));
    }
}
