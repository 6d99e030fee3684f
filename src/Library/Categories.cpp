#include "Categories.h"

#include <array>

#include "Alerts.h"
#include "File.h"
#include "StringIds.h"

namespace {

// Cuts UTF-8 text to at most maxBytes bytes without splitting a character.
std::string CutUtf8(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

void AppendEntries(const cf::Array& entries, int depth, std::vector<CategoryNode>& out) {
    if (depth > Categories::kMaxDepth) return;
    for (const cf::Value& entry : entries) {
        const cf::Dictionary* dictionary = entry.AsDictionary();
        if (!dictionary || dictionary->Contains("separator")) continue;
        const std::string* name = dictionary->GetString("name");
        if (!name) continue;
        CategoryNode node;
        node.name = CutUtf8(*name, Categories::kMaxNameBytes);
        const std::string* label = dictionary->GetString("displayName");
        node.label = label ? *label : node.name;
        if (const cf::Array* children = dictionary->GetArray("categories")) AppendEntries(*children, depth + 1, node.children);
        out.push_back(std::move(node));
    }
}

}  // namespace

void Categories::LoadCategories(const std::string& path) {
    propertyList_.reset();
    const std::optional<cf::FileUrl> url = cf::FileUrl::FromFileSystemPath(path);
    if (!url) return;
    cf::Data data;
    if (url->ReadData(data) != cf::FileUrl::Status::Ok) return;
    propertyList_ = cf::PropertyList::FromXml(data);
}

std::string Categories::DefaultPath() {
    std::array<char, kMaxNameBytes + 1> folder{}, name{};
    if (!LoadResourceString(StringIds::kDataFolder, folder.data(), folder.size()) ||
        !LoadResourceString(StringIds::kCategoriesFile, name.data(), name.size())) {
        return {};
    }
    std::string path;
    File::ResolveSpec(true, folder.data(), name.data(), path);
    return path;
}

std::vector<CategoryNode> Categories::Tree() const {
    std::vector<CategoryNode> tree;
    if (const cf::Array* root = propertyList_ ? propertyList_->AsArray() : nullptr) AppendEntries(*root, 1, tree);
    return tree;
}
