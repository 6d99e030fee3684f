// The ids of the module's strings that the code loads by number (LoadResourceString), each named
// once for every component that reads it. Strings that belong to one dialog's template or menu stay
// with that dialog's ids.
#pragma once

namespace StringIds {
// Where the product keeps its things.
inline constexpr int kProgramKey = 16921;         // "SOFTWARE\Vantrel Software\Quorvel 4.6", under HKCU and HKLM
inline constexpr int kPreferencesFile = 16922;    // "Vantrel Software\Quorvel 4.6.prf", in the application data
inline constexpr int kPresetsFolder = 16924;      // "Presets", inside the data folder
inline constexpr int kDataFolder = 16928;         // "Vantrel Software\Quorvel 4.6": the library's and the data's folder
inline constexpr int kFramesLibraryFile = 16929;  // "Quorvel.sdb"
inline constexpr int kPresetsLibraryFile = 16930; // "QuorvelPresets.sdb"
inline constexpr int kCategoriesFile = 16931;     // "QuorvelCategories.xml"

// The welcome page the maker's library shows.
inline constexpr int kWelcomePage = 16953;
inline constexpr int kWelcomeTitle = 16954;

// Names the frame's file where it holds "%s"; shown in the frame-not-found alert's "^0".
inline constexpr int kFrameNotFoundText = 17217;
// The same for several frames of one run: "%d" is how many, "%s" the first one's file.
inline constexpr int kFramesNotFoundText = 17218;
}  // namespace StringIds
