// Drives Quorvel.8bf through the stand-in host with a scripted start call, for the tests of the
// start routine, the scripting parameters and the renderer; builds parameter blocks to hand it.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "HostSession.h"
#include "SettingsDefaults.h"
#include "SettingsLayout.h"

namespace scripted {

inline std::string PluginPath() { return std::string(std::getenv("QUORVEL_BIN")) + "/Quorvel.8bf"; }

inline qvhost::Document SmallDocument() { return qvhost::Document(40, 30, qvhost::ImageMode{}); }

// Runs a scripted start call whose descriptor holds `descriptor`; answers the session's outcome.
struct ScriptedRun {
    qvhost::HostRunResult result;
    std::vector<uint8_t> parameters;
    std::optional<qvhost::Descriptor> written;
    qvhost::Document document;  // the document after the run
    std::vector<std::string> log;  // the host's log of the run

    int16_t StartResult() const {
        const qvhost::CallRecord* start = result.Find(3);
        return start ? start->result : INT16_MIN;
    }
    // The lines of the host's log that hold `text`.
    std::vector<std::string> LogLinesWith(const std::string& text) const {
        std::vector<std::string> found;
        for (const std::string& line : log)
            if (line.find(text) != std::string::npos) found.push_back(line);
        return found;
    }
};

// Runs a scripted start call whose descriptor holds `descriptor`; `adjust` may change the host's
// options (document, mode, signature, abort, hooks) before the run.
inline ScriptedRun RunScripted(const qvhost::Descriptor& descriptor,
                               const std::function<void(qvhost::HostOptions&)>& adjust = {}) {
    const char* temp = std::getenv("TEMP");
    const std::string path = std::string(temp ? temp : ".") + "\\scripted-" + std::to_string(GetCurrentProcessId()) + ".qvds";
    std::string error;
    EXPECT_TRUE(qvhost::WriteDescriptorFile(path, descriptor, error)) << error;
    qvhost::HostOptions options;
    options.pluginPath = PluginPath();
    options.document = SmallDocument();
    options.descriptorIn = path;
    if (adjust) adjust(options);
    if (options.document) options.mode = options.document->Mode();
    qvhost::HostSession session(options);
    ScriptedRun run;
    run.result = session.Run();
    run.parameters = session.Parameters();
    run.written = session.ResultDescriptor();
    run.document = session.GetDocument();
    run.log = session.Log().Lines();
    return run;
}

// The default block, as the plug-in makes it for a call without settings.
inline std::vector<uint8_t> DefaultBlock() {
    static const std::vector<uint8_t> block = RunScripted(qvhost::Descriptor{}).parameters;
    return block;
}

// A block of `layers` ellipse layers (enabled unless listed in `disabled`), output option and
// layered mode as given.
inline std::vector<uint8_t> StackBlock(int32_t layers, uint8_t outputOption, uint8_t layeredMode,
                                std::vector<int32_t> disabled = {}) {
    const std::vector<uint8_t> defaults = DefaultBlock();
    if (defaults.size() < BlockLayout::kLayers + LayerLayout::kLength) {
        ADD_FAILURE() << "the plug-in made no default block";
        return {};
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(ParameterBlockView::SizeFor(layers, 0) + 8), 0);
    std::memcpy(bytes.data(), defaults.data(), BlockLayout::kLayers);
    ParameterBlockView view(bytes.data(), static_cast<int64_t>(bytes.size()));
    const RecordRef header = view.Block();
    header.Set(BlockLayout::kSize, static_cast<uint16_t>(bytes.size() - 8));
    header.Set(BlockLayout::kLayerCount, static_cast<int16_t>(layers));
    header.Set(BlockLayout::kOutputOption, outputOption);
    header.Set(BlockLayout::kLayeredOutputMode, layeredMode);
    for (int32_t i = 0; i < std::max(layers, 1); ++i) {
        const RecordRef layer = view.Layer(i);
        std::memcpy(layer.Bytes(), defaults.data() + BlockLayout::kLayers, LayerLayout::kLength);
        SettingsInitLayerRecord(layer, false);
        ShapeOf(layer).Set(ShapeLayout::kMarker, -1);
        ShapeOf(layer).Set(ShapeLayout::kKind, static_cast<uint16_t>(1 + i % 6));
        SettingsResetShape(ShapeOf(layer));
        layer.Set(LayerLayout::kEnabled, 1);
    }
    for (int32_t i : disabled) view.Layer(i).Set(LayerLayout::kEnabled, 0);
    return bytes;
}

// 'FrMP' as written: the handle image from its byte 4.
inline qvhost::DescriptorValue FromByte4(const std::vector<uint8_t>& handle) {
    if (handle.size() < 4) return {qvhost::DescriptorBlob{}};
    return {qvhost::DescriptorBlob(handle.begin() + 4, handle.end())};
}

inline std::vector<uint32_t> Keys(const qvhost::Descriptor& descriptor) {
    std::vector<uint32_t> keys;
    for (const auto& entry : descriptor.Entries()) keys.push_back(entry.key);
    return keys;
}

inline int32_t IntegerOf(const qvhost::Descriptor& descriptor, uint32_t key) {
    const qvhost::DescriptorValue* value = descriptor.Find(key);
    return value ? std::get<int32_t>(value->value) : INT32_MIN;
}

inline const qvhost::DescriptorList& ListOf(const qvhost::Descriptor& descriptor, uint32_t key) {
    static const qvhost::DescriptorList none;
    const qvhost::DescriptorValue* value = descriptor.Find(key);
    return value ? std::get<qvhost::DescriptorList>(value->value) : none;
}

inline int16_t LayerCountOfItem(const qvhost::DescriptorValue& item) {
    const auto& blob = std::get<qvhost::DescriptorBlob>(item.value);
    // The item is written from handle byte 4: N stands at handle offset 20.
    return static_cast<int16_t>((blob.at(16) << 8) | blob.at(17));
}

}  // namespace scripted
