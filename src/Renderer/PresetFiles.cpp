// Preset files: the whole frame stack kept as an XML property list (".qvo") that the presets
// library lists and that applies the stack again to other photos; the presets folder that holds
// them, one sub-folder per category; and the move of the frame library, which rewrites the
// stack's stored frame paths.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Alerts.h"
#include "File.h"
#include "LayerState.h"
#include "Libraries.h"
#include "LockedParameters.h"
#include "PropertyListFile.h"
#include "Quorvel.h"
#include "QVDatabase.h"
#include "SettingsValidation.h"
#include "StoredBlock.h"
#include "StringIds.h"
#include "ThumbnailGenerator.h"
#include "Utf.h"
#include "VantrelFileUtils.h"

namespace {

// The preset dictionary's keys.
namespace PresetKey {
constexpr std::string_view kVersion = "PresetVersion";
constexpr std::string_view kCategory = "Category";
constexpr std::string_view kAuthor = "Author";
constexpr std::string_view kDescription = "Description";
constexpr std::string_view kTargetLayerPos = "TargetLayerPos";  // the photo's row among the layers
constexpr std::string_view kThumbnail = "Thumbnail";
constexpr std::string_view kSettings = "QuorvelSettings";       // the block from its framework header on
}  // namespace PresetKey

constexpr float kPresetVersion = 1.0f;
// The presets library shows its thumbnails in the frames library's cells.
constexpr Rect16 kThumbnailTarget{0, 0, 128, 128};
// A preset is a block of at most 64 KB and a thumbnail of 64 KB, written as text: anything near
// this size is no preset, and is not read into memory to find that out.
constexpr uint64_t kMaxPresetFileBytes = 4u << 20;

std::string LoadName(int stringId) {
    char name[256] = {};
    if (!LoadResourceString(stringId, name, sizeof name)) return {};
    return name;
}

// Characters that no Windows file name may hold, the separators among them.
constexpr std::string_view kCharactersNotInNames = "\\/:*?\"<>|";

// The size of the file at path; none when it is no file.
std::optional<uint64_t> FileSize(std::string_view path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Utf8ToUtf16(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// Puts a thumbnail of the source under its key. Made tells whether there was a picture to store.
struct ThumbnailOutcome {
    bool made = false;
    bool stored = false;
};
ThumbnailOutcome PutThumbnail(PropertyListFile& preset, ThumbnailSource* source) {
    if (!source) return {};
    ThumbnailGenerator generator(source);
    try {
        if (generator.RenderThumbnail(kThumbnailTarget) != Err::None || !generator.Picture()) return {};
    } catch (const ErrorCodeException&) {
        return {};  // a preset is still worth keeping without its picture
    } catch (const std::bad_alloc&) {
        return {};
    }
    const std::span picture(generator.Picture(), static_cast<size_t>(generator.PictureSize()));
    return {true, preset.SetData(PresetKey::kThumbnail, picture)};
}

// What a preset file gives back: the handle image of its block (no run-time link), checked like
// any block from outside, with its frame paths absolute; and the photo's row, when it names one.
struct PresetContent {
    std::vector<uint8_t> image;
    std::optional<int32_t> photoPosition;
};

// Builds the handle image of a preset's settings blob and checks it: the blob must be a whole
// block of this filter (its size field equal to its length and to the size its stack needs) that
// passes the checks of every block from outside.
ErrorCode CheckPresetSettings(const std::vector<uint8_t>& blob, std::vector<uint8_t>& image) {
    if (blob.size() < BlockLayout::kSizeBeforeLayers || blob.size() > ParameterHeader::kMaxSize)
        return Err::SettingsCorrupt;
    const uint8_t* header = blob.data();
    if (BigEndian::Read16(header + ParameterHeader::kSizeField) != blob.size() ||
        header[ParameterHeader::kLengthByte] != ParameterHeader::kHeaderLength ||
        BigEndian::Read32(header + ParameterHeader::kSignatureField) != Quorvel::kSignature)
        return Err::SettingsCorrupt;
    try {
        image.assign(ParameterHeader::kRunTimePrefix, 0);
        image.insert(image.end(), blob.begin(), blob.end());
    } catch (const std::bad_alloc&) {
        return Err::MemoryFull;
    }
    // The stack limits, the size rule, finite numbers; indexes and costs are brought into range.
    return SettingsCheckBlock(ParameterBlockView(image.data(), static_cast<int64_t>(image.size())));
}

ErrorCode ReadPresetFile(std::string_view path, PresetContent& content) {
    const std::optional<uint64_t> size = path.empty() ? std::nullopt : FileSize(path);
    if (!size) return Err::FileMissing;
    if (*size > kMaxPresetFileBytes) return Err::SettingsCorrupt;
    const PropertyListFile preset(path);
    std::vector<uint8_t> blob;
    if (!preset.HasDictionary() || !preset.GetData(PresetKey::kSettings, blob)) return Err::SettingsCorrupt;
    if (const ErrorCode error = CheckPresetSettings(blob, content.image)) return error;
    StoredBlock::MakePathsAbsolute(
        ParameterBlockView(content.image.data(), static_cast<int64_t>(content.image.size())), FrameLibraryFolder());
    int32_t position = 0;
    if (preset.GetInt(PresetKey::kTargetLayerPos, position)) content.photoPosition = position;
    return Err::None;
}

}  // namespace

ErrorCode Quorvel::WritePresetFile(std::string_view path, const PresetTexts& texts, ThumbnailSource* thumbnailSource) {
    std::vector<uint8_t> image;
    if (const ErrorCode error = StoredBlock::CopyCurrent(Stack().Parameters(), image)) return error;
    const std::optional<cf::FileUrl> url = cf::FileUrl::FromFileSystemPath(path);
    if (!url) return kPresetNotStored;

    // A new dictionary: a preset written over another keeps nothing of it.
    PropertyListFile preset;
    bool stored = preset.SetFloat(PresetKey::kVersion, kPresetVersion);
    auto putText = [&](std::string_view key, std::string_view text) {
        if (!text.empty()) stored = preset.SetString(key, text) && stored;
    };
    // The presets library files a preset in the folder its category names: a category that could
    // take it outside the presets folder is not kept.
    if (IsUsableCategoryName(texts.category)) putText(PresetKey::kCategory, texts.category);
    putText(PresetKey::kAuthor, texts.author);
    putText(PresetKey::kDescription, texts.description);
    stored = preset.SetInt(PresetKey::kTargetLayerPos, static_cast<uint32_t>(Stack().TargetLayerPos())) && stored;
    if (!stored) return kPresetNotStored;

    const ThumbnailOutcome thumbnail = PutThumbnail(preset, thumbnailSource);
    const std::span settings = std::span(image).subspan(ParameterHeader::kRunTimePrefix);
    if (!preset.SetData(PresetKey::kSettings, settings)) return kPresetNotStored;
    // The file is written beside its place and renamed into it.
    if (!preset.Save(*url)) return kPresetNotStored;
    return thumbnail.made && !thumbnail.stored ? kPresetNotStored : Err::None;
}

ErrorCode Quorvel::LoadPresetFile(std::string_view path, bool detached) {
    PresetContent preset;
    try {
        if (const ErrorCode error = ReadPresetFile(path, preset)) return error;
    } catch (const std::bad_alloc&) {
        return Err::MemoryFull;
    }
    const ParameterBlockView loaded(preset.image.data(), static_cast<int64_t>(preset.image.size()));
    const int32_t layers = loaded.LayerCount();
    const int32_t slots = loaded.LayerSlots();
    const int32_t paths = loaded.PathCount();
    const auto size = static_cast<int32_t>(loaded.Block().Get(BlockLayout::kSize));

    // The run-time tables take both stacks before the block is replaced, so that nothing can fail
    // once it is.
    const int32_t roomSlots = std::max(slots, Bevels().Count());
    const int32_t roomEntries = std::max(slots + paths, LayerStates().Count());
    if (const ErrorCode error = ResizeRunTimeTables(roomSlots, roomEntries - roomSlots)) return error;

    {
        const LockedParameters current = Stack().Lock();
        if (!detached && current && current.View().Length() >= ParameterHeader::kRunTimePrefix)
            std::memcpy(preset.image.data(), current.View().Bytes(), ParameterHeader::kRunTimePrefix);
    }
    try {
        SetParameterBlockSize(size, false);
    } catch (const ErrorCodeException& e) {
        return e.code;  // the old block stays
    }
    {
        const LockedParameters parameters = Stack().Lock();
        if (!parameters || parameters.View().Length() < static_cast<int64_t>(preset.image.size()))
            return Err::MemoryFull;
        std::memcpy(parameters.View().Bytes(), preset.image.data(), preset.image.size());
    }
    ResizeRunTimeTables(slots, paths);  // only shrinks now

    // A preset without the photo's row, or with one outside its stack, puts the photo on top.
    const int32_t position = preset.photoPosition.value_or(layers);
    Stack().SetTargetLayerPos(position >= 0 && position <= layers ? position : layers);
    Stack().LinkAllLayers();
    RequestAutomaticRotation();
    Stack().InvalidateLayerCache(-1);
    if (!detached) RedoPreview();
    return Err::None;
}

bool Quorvel::IsUsableCategoryName(std::string_view category) {
    // A longer name would not read back whole from the preset file.
    if (category.empty() || category.size() > PropertyListFile::kMaxStringBytes) return false;
    if (category.find_first_not_of('.') == std::string_view::npos) return false;
    return std::none_of(category.begin(), category.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || kCharactersNotInNames.find(c) != std::string_view::npos;
    });
}

ErrorCode Quorvel::PresetsFolder(std::string& folder) {
    folder.clear();
    const std::string dataFolder = LoadName(StringIds::kDataFolder);
    const std::string presets = LoadName(StringIds::kPresetsFolder);
    if (dataFolder.empty() || presets.empty()) return Err::ResourceMissing;
    std::string path;
    try {
        if (const ErrorCode error = File::ResolveSpec(false, dataFolder.c_str(), presets.c_str(), path)) return error;
    } catch (const ErrorCodeException& e) {
        return e.code;
    }
    VantrelFileUtils::CreateFolder(path);
    if (!(GetFileKind(path) & FileKind::kFolder)) return Err::FolderNotFound;
    folder = std::move(path);
    return Err::None;
}

ErrorCode Quorvel::PresetCategoryFolder(std::string_view category, std::string& folder) {
    if (const ErrorCode error = PresetsFolder(folder)) return error;
    if (!IsUsableCategoryName(category)) return Err::None;
    std::string categoryFolder = FileSpec::JoinPath(folder, category);
    VantrelFileUtils::CreateFolder(categoryFolder);
    if (!(GetFileKind(categoryFolder) & FileKind::kFolder)) return Err::FolderNotFound;
    folder = std::move(categoryFolder);
    return Err::None;
}

ErrorCode Quorvel::LastUsedPresetPath(std::string& path) {
    std::string folder;
    if (const ErrorCode error = PresetCategoryFolder("Last Used", folder)) return error;
    path = FileSpec::JoinPath(folder, "Last Used.qvo");
    return Err::None;
}

ErrorCode Quorvel::OpenPresetFolder() {
    std::string folder;
    if (const ErrorCode error = PresetsFolder(folder)) return error;
    const HINSTANCE shown = ShellExecuteW(nullptr, L"open", Utf8ToUtf16(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // ShellExecute answers a number above 32 when it succeeded.
    constexpr INT_PTR kShellSuccessAbove = 32;
    return reinterpret_cast<INT_PTR>(shown) > kShellSuccessAbove ? Err::None : Err::FolderNotFound;
}

void Quorvel::SetLibraryFolder(std::string_view folder) {
    SetFrameLibraryFolder(folder);
    const QVDatabase* frames = FramesLibrary();
    if (!frames) return;
    Stack().MakeFramePathsRelative(frames->Path());
    SetLibraryPathSetting(FileSpec::JoinPath(folder, LoadName(StringIds::kFramesLibraryFile)));
    CloseLibraries();
    // The libraries open again, the frames library at the new place, which makes its folder the
    // base of relative paths; when it cannot, the base is the folder given.
    OpenLibraries(Call().number);
    Stack().MakeFramePathsAbsolute(FrameLibraryFolder());
    Stack().InvalidateLayerCache(-1);
    RedoPreview();
}
