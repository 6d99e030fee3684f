#include "PlacementTargets.h"

#include "Quorvel.h"
#include "QuorvelBase.h"

bool LayerSelected(const ParameterBlockView& view) {
    const int32_t selected = view.Block().Get(BlockLayout::kSelectedLayer);
    return selected >= 0 && selected < view.LayerCount() && view.HoldsLayer(selected);
}

bool HoldsBackground(const ParameterBlockView& view) {
    return view.Length() >= int64_t{BlockLayout::kBackground} + BlockLayout::kBackgroundLength;
}

std::optional<PlacementTarget> ToolTarget(const Quorvel& filter) {
    const QuorvelBase& stack = filter.Stack();
    if (filter.CurrentLayerEditable()) {
        const std::optional<LayerRange> group = LinkedGroupOf(stack, stack.CurrentLayerIndex());
        if (!group) return std::nullopt;
        return PlacementTarget{false, *group};
    }
    const LockedParameters parameters = stack.Lock();
    if (!parameters || LayerSelected(parameters.View())) return std::nullopt;
    return PlacementTarget{true, {}};
}

std::optional<PlacementTarget> MenuTarget(const Quorvel& filter) {
    const QuorvelBase& stack = filter.Stack();
    {
        const LockedParameters parameters = stack.Lock();
        if (!parameters) return std::nullopt;
        if (!LayerSelected(parameters.View())) return PlacementTarget{true, {}};
    }
    const std::optional<LayerRange> group = LinkedGroupOf(stack, stack.CurrentLayerIndex());
    if (!group) return std::nullopt;
    return PlacementTarget{false, *group};
}

TargetRecords::TargetRecords(const Quorvel& filter, const PlacementTarget& target) : parameters_(filter.Stack().Lock()) {
    if (!parameters_) return;
    const ParameterBlockView view = parameters_.View();
    photo_ = target.photo;
    if (target.photo) {
        if (HoldsBackground(view)) records_.push_back(view.Background());
        return;
    }
    for (int32_t i = target.group.first; i <= target.group.last; ++i) {
        if (i >= view.LayerCount() || !view.HoldsLayer(i)) {
            records_.clear();
            return;
        }
        records_.push_back(view.Layer(i));
    }
}

// ---- The Frames menu's turns and flips

namespace {

template <typename Edit>
void EditMenuTarget(Quorvel& filter, Edit edit) {
    const std::optional<PlacementTarget> target = MenuTarget(filter);
    if (!target) return;
    const TargetRecords records(filter, *target);
    for (size_t i = 0; i < records.Count(); ++i) edit(records[i]);
}

}  // namespace

void Quorvel::RotateCurrentGroup(int16_t degrees) {
    EditMenuTarget(*this, [degrees](RecordRef placement) {
        placement.Set(LayerLayout::kAngle, WrapAngle(int64_t{placement.Get(LayerLayout::kAngle)} + degrees));
    });
}

void Quorvel::FlipCurrentGroup(bool horizontal) {
    EditMenuTarget(*this, [horizontal](RecordRef placement) { FlipPlacement(placement, horizontal); });
}
