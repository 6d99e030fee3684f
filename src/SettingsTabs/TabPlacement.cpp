#include "TabPlacement.h"

#include <algorithm>

#include "BigEndian.h"

TabPlacement TabPlacement::Read(const uint8_t* entry) {
    TabPlacement p;
    p.type = entry[kTypeOffset];
    p.shown = entry[kShownOffset] != 0;
    p.nextTemplate = BigEndian::Read16(entry + kNextOffset);
    p.top = BigEndian::ReadI16(entry + kTopOffset);
    p.left = BigEndian::ReadI16(entry + kLeftOffset);
    p.rows = BigEndian::Read16(entry + kRowsOffset);
    return p;
}

void TabPlacement::Write(uint8_t* entry) const {
    entry[kTypeOffset] = type;
    entry[kShownOffset] = shown ? 1 : 0;
    BigEndian::Write16(entry + kNextOffset, nextTemplate);
    BigEndian::WriteI16(entry + kTopOffset, top);
    BigEndian::WriteI16(entry + kLeftOffset, left);
    BigEndian::Write16(entry + kRowsOffset, rows);
    BigEndian::Write16(entry + kReservedOffset, 0);
}

TabPlacements ReadTabPlacements(const PreferenceSettings& settings) {
    TabPlacements placements;
    for (int i = 0; i < TabPlacement::kCount; ++i)
        placements[i] = TabPlacement::Read(settings.bytes + PreferenceSettings::kTabPlacements + i * TabPlacement::kLength);
    return placements;
}

void WriteTabPlacements(PreferenceSettings& settings, const TabPlacements& placements) {
    for (int i = 0; i < TabPlacement::kCount; ++i)
        placements[i].Write(settings.bytes + PreferenceSettings::kTabPlacements + i * TabPlacement::kLength);
}

uint16_t PlacementRows(int32_t clientHeight, int32_t minimumHeight, int32_t rowHeight) {
    if (rowHeight <= 0) return 0;
    // A window smaller than its least height holds no extra rows rather than a count that wraps.
    const int64_t extra = std::max<int64_t>(int64_t{clientHeight} - minimumHeight, 0);
    return static_cast<uint16_t>(std::min<int64_t>((extra + rowHeight / 2) / rowHeight, UINT16_MAX));
}
