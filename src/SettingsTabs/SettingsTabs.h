// The nine settings tabs of the preview dialog, built as its companions: the frame-stack tab and
// the stand-ins of the others, placed where the user left them or in the default groups.
#pragma once

#include <memory>

#include "DialogCompanions.h"

class PreviewEditor;

// Builds the tabs in type order as modeless windows owned by the editor's dialog, puts them back
// where the preference record says they stood (or lays out the default groups) and shows those
// that were shown. Raises -108 when a tab cannot be made; the tabs go with the companions.
std::unique_ptr<DialogCompanions> CreateSettingsTabs(PreviewEditor& editor);
