// What the placement edits act on: the selected layer together with the layers linked to it, or
// the photo's own placement when no layer is selected. The preview's on-image tools and the
// Frames menu's turns and flips resolve their target here and edit its records as the block holds
// them now.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "LockedParameters.h"
#include "PlacementEdits.h"

class Quorvel;

struct PlacementTarget {
    bool photo = false;
    LayerRange group;  // the layers, when not the photo
};

// Whether the block selects a layer (rather than the photo's row).
bool LayerSelected(const ParameterBlockView& view);
// Whether the block holds the photo's placement record.
bool HoldsBackground(const ParameterBlockView& view);

// What a drag edits: the current layer's linked group while that layer can be edited, else the
// photo's placement when no layer is selected. A selected layer that cannot be edited (disabled,
// or its image failed to load) leaves nothing to edit.
std::optional<PlacementTarget> ToolTarget(const Quorvel& filter);
// The Frames menu's edits act on the selected layer's group whether or not its image loaded (the
// menu itself is greyed for such a layer), and on the photo with no layer selected.
std::optional<PlacementTarget> MenuTarget(const Quorvel& filter);

// The target's records in the block as it is now, locked while this lives. Empty when the block
// no longer holds every one of them.
class TargetRecords {
public:
    TargetRecords(const Quorvel& filter, const PlacementTarget& target);
    size_t Count() const { return records_.size(); }
    RecordRef operator[](size_t i) const { return records_[i]; }
    Placement PlacementAt(size_t i) const { return Placement{records_[i], photo_}; }

private:
    LockedParameters parameters_;
    std::vector<RecordRef> records_;
    bool photo_ = false;
};
