// The walk over an instance's tiles: the priority rectangle first, then the four strips round it,
// each cut row by row into tiles that fit the host's buffer budget; the dirty region that says
// what is left to render, and the progress the walk makes.
#include "PhotoshopFilter.h"

#include <windows.h>

#include <algorithm>

#include "Errors.h"
#include "Geometry.h"
#include "HostCall.h"
#include "HostMemory.h"
#include "PreviewOwner.h"

namespace {

constexpr int16_t kPhaseTileHeight = 256;
constexpr int16_t kDialogPhaseTileWidth = 256;
constexpr int16_t kPhaseTileWidth = 1024;

}  // namespace

int32_t PhotoshopFilter::IntegerScale() const { return std::max(RoundToInt(previewScale_), 1); }

void PhotoshopFilter::RestartPass() {
    state_ = kStateBeginPass;
    progressDone_ = 0.0;
}

// Every pass starts in the priority rectangle, the cursor at its top-left corner with no extent
// in the tiling direction.
void PhotoshopFilter::StartTileWalk() {
    bandRect_ = priorityRect_;
    phase_ = 0;
    currentDirection_ = direction_;
    tileRect_ = currentDirection_ == 0
                    ? Rect16{bandRect_.top, bandRect_.left,
                             static_cast<int16_t>(std::min<int32_t>(bandRect_.top + tileHeight_, bandRect_.bottom)),
                             bandRect_.left}
                    : Rect16{bandRect_.top, bandRect_.left, bandRect_.top,
                             static_cast<int16_t>(std::min<int32_t>(bandRect_.left + tileWidth_, bandRect_.right))};
}

void PhotoshopFilter::InvalidateRect(const Rect16* r) {
    if (dirtyRegion_) {
        const OwnedRgn whole = RegionOf(wholeRect_);
        if (r) {
            const OwnedRgn added = RegionOf(*r);
            UnionRgn(dirtyRegion_.Get(), added.Get(), dirtyRegion_.Get());
            SectRgn(dirtyRegion_.Get(), whole.Get(), dirtyRegion_.Get());
        } else {
            dirtyRegion_ = CopyRgn(whole.Get());
        }
    }
    RestartPass();
}

void PhotoshopFilter::ValidateRect(const Rect16& r) {
    if (!dirtyRegion_ || IsEmptyRect(r)) return;
    const OwnedRgn done = RegionOf(r);
    DiffRgn(dirtyRegion_.Get(), done.Get(), dirtyRegion_.Get());
}

bool PhotoshopFilter::ClipToDirtyRegion(Rect16& r) const {
    if (!dirtyRegion_ || IsEmptyRect(r)) return false;
    const OwnedRgn part = RegionOf(r);
    SectRgn(part.Get(), dirtyRegion_.Get(), part.Get());
    r = IntersectRects(r, RegionBounds(part.Get()));
    return !IsEmptyRect(r);
}

int16_t PhotoshopFilter::InputPlaneCount() const {
    const FilterRecord& r = Record();
    if (r.inLayerPlanes)
        return static_cast<int16_t>(r.inLayerPlanes + r.inTransparencyMask + r.inLayerMasks + r.inInvertedLayerMasks +
                                    r.inNonLayerPlanes);
    return r.planes;
}

int16_t PhotoshopFilter::OutputPlaneCount() const {
    const FilterRecord& r = Record();
    if (r.outLayerPlanes)
        return static_cast<int16_t>(r.outLayerPlanes + r.outTransparencyMask + r.outLayerMasks +
                                    r.outInvertedLayerMasks + r.outNonLayerPlanes);
    return r.planes;
}

// The bytes the host hands over for one pixel of a tile: its input and output planes and two more
// samples, at the document's depth. Counted in samples, a 16-bit tile would reserve half of what
// the host must deliver, and the delivery would fail for want of the space the tile was sized in.
int64_t PhotoshopFilter::TileBytesPerPixel() const {
    return (int64_t{InputPlaneCount()} + OutputPlaneCount() + 2) * SampleBytes();
}

// Shrinks the tile (height first) until its bytes fit the budget.
void PhotoshopFilter::FitTileToBudget(double budget, int64_t bytesPerPixel) {
    const double bytes = double(tileHeight_) * tileWidth_ * bytesPerPixel;
    if (bytes > budget) {
        tileHeight_ = static_cast<int16_t>(std::max(RoundToInt(tileHeight_ * budget / bytes), 1));
        const double shrunk = double(tileHeight_) * tileWidth_ * bytesPerPixel;
        if (shrunk > budget)
            tileWidth_ = static_cast<int16_t>(std::max(RoundToInt(tileWidth_ * budget / shrunk), 1));
    }
}

void PhotoshopFilter::SetTileSize(int32_t width, int32_t height) {
    direction_ = 0;
    tileWidth_ = static_cast<int16_t>(std::clamp(width, 1, 32767));
    tileHeight_ = static_cast<int16_t>(std::clamp(height, 1, 32767));
    const int64_t bytes = TileBytesPerPixel();
    SetBufferReserve(kDefaultBufferReserve);
    const int64_t free = BufferSpace();
    const double budget = free < kDefaultBufferReserve ? 0.0 : 0.7 * double(free - kDefaultBufferReserve);
    FitTileToBudget(budget, bytes);
    SetBufferReserve(int64_t{tileHeight_} * tileWidth_ * bytes + kDefaultBufferReserve);
}

void PhotoshopFilter::BeginPass() {
    FilterRecord& record = Record();
    record.inLoPlane = record.outLoPlane = 0;
    record.inHiPlane = static_cast<int16_t>(InputPlaneCount() - 1);
    record.outHiPlane = static_cast<int16_t>(OutputPlaneCount() - 1);
    record.inputPadding = 0;
    record.maskPadding = 0;
    record.outputPadding = -2;
    tileRect_ = Rect16{static_cast<int16_t>(wholeRect_.top - tileHeight_), wholeRect_.left,
                       wholeRect_.top, wholeRect_.left};
    record.inRect = record.outRect = record.maskRect = Rect16{};
    ReportProgress(0, -1);
}

bool PhotoshopFilter::NextTile() {
    while (true) {
        if (NextTileRect()) return true;
        if (!StartNextPhase()) return false;
    }
}

bool PhotoshopFilter::NextTileRect() {
    FilterRecord& record = Record();
    const Rect16& band = bandRect_;
    while (true) {
        const Rect16 t = tileRect_;
        Rect16 next;
        if (currentDirection_ == 0) {
            if (t.right < band.right)
                next = {t.top, t.right, t.bottom, static_cast<int16_t>(std::min<int32_t>(t.right + tileWidth_, band.right))};
            else if (t.bottom >= band.bottom)
                return false;
            else
                next = {t.bottom, band.left, static_cast<int16_t>(std::min<int32_t>(t.bottom + tileHeight_, band.bottom)),
                        static_cast<int16_t>(std::min<int32_t>(band.left + tileWidth_, band.right))};
        } else {
            if (t.bottom < band.bottom)
                next = {t.bottom, t.left, static_cast<int16_t>(std::min<int32_t>(t.bottom + tileHeight_, band.bottom)),
                        t.right};
            else if (t.right >= band.right)
                return false;
            else
                next = {band.top, t.right, static_cast<int16_t>(std::min<int32_t>(band.top + tileHeight_, band.bottom)),
                        static_cast<int16_t>(std::min<int32_t>(t.right + tileWidth_, band.right))};
        }
        tileRect_ = next;
        ReportProgress(double(RectArea(next)), 0);
        Rect16 dirty = next;
        if (!ClipToDirtyRegion(dirty)) continue;
        record.inRect = record.outRect = dirty;
        record.maskRect = Framework().withSelection ? dirty : Rect16{};
        return true;
    }
}

// The four strips round the priority rectangle, each cut row by row.
bool PhotoshopFilter::StartNextPhase() {
    if (phase_ >= 4) return false;
    ++phase_;
    tileHeight_ = kPhaseTileHeight;
    tileWidth_ = dialog_ ? kDialogPhaseTileWidth : kPhaseTileWidth;
    FitTileToBudget(0.5 * double(std::max<int64_t>(BufferSpace(), 0)), TileBytesPerPixel());
    const Rect16& w = wholeRect_;
    const Rect16& p = priorityRect_;
    switch (phase_) {
    case 1: bandRect_ = Rect16{w.top, w.left, p.top, w.right}; break;
    case 2: bandRect_ = Rect16{p.top, w.left, p.bottom, p.left}; break;
    case 3: bandRect_ = Rect16{p.top, p.right, p.bottom, w.right}; break;
    default: bandRect_ = Rect16{p.bottom, w.left, w.bottom, w.right}; break;
    }
    currentDirection_ = 0;
    tileRect_ = Rect16{bandRect_.top, bandRect_.left,
                       static_cast<int16_t>(std::min<int32_t>(bandRect_.top + tileHeight_, bandRect_.bottom)),
                       bandRect_.left};
    return true;
}

void PhotoshopFilter::TileStep(int32_t k, const Rect16&) {
    if (k == stepCount_) EndTileSteps();
}

void PhotoshopFilter::ReportProgress(double amount, double total) {
    if (total != 0) {
        progressDone_ = amount;
        if (total > 0) progressTotal_ = total;
        else
            progressTotal_ = double(RectArea(wholeRect_) - RectArea(priorityRect_)) / outerWeight_ +
                             double(RectArea(priorityRect_));
    } else {
        progressDone_ += phase_ > 0 ? amount / outerWeight_ : amount;
    }
    progressDone_ = std::min(progressDone_, progressTotal_);
    if (PreviewOwner* dialog = dialog_) {
        dialog->ShowProgress(*this, progressDone_, progressTotal_);
        return;
    }
    const FilterRecord& record = Record();
    if (record.progressProc)
        record.progressProc(RoundToInt(progressDone_), RoundToInt(progressTotal_));
    if (record.abortProc && record.abortProc()) THROW_IF_ERROR(Err::Cancelled);
}
