// Where the settings tabs stood when the preview dialog last closed: nine 12-byte big-endian
// entries of the preference record, one per tab, read back when the dialog opens again.
#pragma once

#include <array>
#include <cstdint>

#include "BinaryLayout.h"
#include "PreferenceSettings.h"

struct TabPlacement {
    static constexpr int kLength = 12;
    static constexpr int kCount = 9;
    // Offsets inside an entry.
    static constexpr int kTypeOffset = 0, kShownOffset = 1, kNextOffset = 2, kTopOffset = 4, kLeftOffset = 6,
                         kRowsOffset = 8, kReservedOffset = 10;
    // The type of a tab whose template is not one of the nine.
    static constexpr uint8_t kNoType = 255;

    uint8_t type = kNoType;
    bool shown = false;
    uint16_t nextTemplate = 0;  // the next page of the tab's group; 0 for the group's last page
    int16_t top = 0;            // the client area's top left on the screen; a top of 0 is no place
    int16_t left = 0;
    uint16_t rows = 0;          // extra rows of a tab that grows by rows

    static TabPlacement Read(const uint8_t* entry);
    // Writes the ten bytes of fields and clears the reserved two.
    void Write(uint8_t* entry) const;

    bool operator==(const TabPlacement&) const = default;
};

static_assert(FieldsFollowOn(0,
                             {{TabPlacement::kTypeOffset, 1}, {TabPlacement::kShownOffset, 1},
                              {TabPlacement::kNextOffset, 2}, {TabPlacement::kTopOffset, 2},
                              {TabPlacement::kLeftOffset, 2}, {TabPlacement::kRowsOffset, 2},
                              {TabPlacement::kReservedOffset, 2}},
                             TabPlacement::kLength));
static_assert(PreferenceSettings::kTabPlacements + TabPlacement::kCount * TabPlacement::kLength <=
              PreferenceSettings::kLibraryWindowState);

using TabPlacements = std::array<TabPlacement, TabPlacement::kCount>;

TabPlacements ReadTabPlacements(const PreferenceSettings& settings);
void WriteTabPlacements(PreferenceSettings& settings, const TabPlacements& placements);

// The rows a tab of that client height holds beyond its least height, to the nearest row; 0 for a
// tab without rows.
uint16_t PlacementRows(int32_t clientHeight, int32_t minimumHeight, int32_t rowHeight);
