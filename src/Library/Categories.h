// The category tree of the frames library, read from the property-list file
// "QuorvelCategories.xml" in the frames library's default folder. The system only reads it.
//
// The file's root is an array of entries in display order; an entry is a dictionary with "name"
// (the text kept in the Category column of Frames), optionally "displayName" (the label shown) and
// "categories" (an array of child entries); a dictionary holding "separator" is no category.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "VantrelCoreFoundation.h"

struct CategoryNode {
    std::string name;   // at most kMaxNameBytes bytes
    std::string label;  // "displayName", else the name
    std::vector<CategoryNode> children;
};

class Categories {
public:
    static constexpr size_t kMaxNameBytes = 255;
    // Levels of nested categories beyond this are not shown.
    static constexpr int kMaxDepth = 16;

    virtual ~Categories() = default;

    // Reads the property list at path. Any failure (no such file, unreadable, not a property list)
    // leaves no list; nothing is reported.
    void LoadCategories(const std::string& path);
    // The file in the frames library's default folder; empty when the names cannot be had.
    static std::string DefaultPath();

    // The property list read, or null.
    const cf::Value* PropertyList() const { return propertyList_ ? &*propertyList_ : nullptr; }

    // The categories in display order. Entries that are not dictionaries, separators, entries
    // without a text "name" (with their children), values of the wrong type and levels beyond
    // kMaxDepth are left out.
    std::vector<CategoryNode> Tree() const;

private:
    std::optional<cf::Value> propertyList_;
};
