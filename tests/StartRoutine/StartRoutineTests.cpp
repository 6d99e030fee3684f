// The start routine through the stand-in host: defaults, validation with its alert, layered
// output, and the hosts that cannot take it.
#include <gtest/gtest.h>

#include "UiShots.h"

#include <cstring>

#include "ScriptedHost.h"

namespace {

using namespace scripted;

// A document whose samples differ from pixel to pixel, so that any change shows.
qvhost::Document PatternDocument(qvhost::ImageMode mode) {
    qvhost::Document document(37, 23, mode);
    for (int plane = 0; plane < document.Planes(); ++plane)
        for (int32_t y = 0; y < document.Height(); ++y)
            for (int32_t x = 0; x < document.Width(); ++x)
                document.SetSample(plane, x, y, static_cast<uint16_t>((x * 7 + y * 13 + plane * 31) % (mode.FullValue() + 1)));
    return document;
}

// Hands the host a parameters handle holding `block` before the start call, as a host does that
// kept the block of an earlier run.
std::function<void(qvhost::HostOptions&)> HostHolds(std::vector<uint8_t> block) {
    return [block](qvhost::HostOptions& options) {
        options.beforeCall = [block](FilterRecord& record, int16_t selector) {
            if (selector != kSelectorStart || record.parameters) return;
            record.parameters = record.handleProcs->newHandle(static_cast<int32_t>(block.size()));
            std::memcpy(*record.parameters, block.data(), block.size());
        };
    };
}

TEST(StartRoutine, AScriptedCallWithoutABlockRunsWithTheDefaults) {
    const ScriptedRun run = RunScripted(qvhost::Descriptor{});
    ASSERT_EQ(run.StartResult(), 0);
    ASSERT_EQ(run.parameters.size(), 2400u);
    EXPECT_TRUE(run.result.alerts.empty());
}

TEST(StartRoutine, ACorruptBlockIsReportedAndReplacedByTheDefaults) {
    std::vector<uint8_t> corrupt = StackBlock(2, 0, 0);
    ParameterBlockView(corrupt.data(), static_cast<int64_t>(corrupt.size())).Block().Set(BlockLayout::kPathCount, 31);
    const ScriptedRun run = RunScripted(qvhost::Descriptor{}, HostHolds(corrupt));
    ASSERT_EQ(run.StartResult(), 0);
    ASSERT_EQ(run.result.alerts.size(), 1u);
    EXPECT_EQ(run.result.alerts[0],
              "alert 17004 answered 1: The settings appear to be corrupt. The default settings will be used instead.");
    EXPECT_EQ(run.parameters, DefaultBlock());
}

TEST(StartRoutine, AStackWithoutLayersLeavesTheImageAsItWas) {
    for (const char* name : {"gray8", "gray16", "rgb8", "rgb16", "cmyk8", "cmyk16"}) {
        const qvhost::Document input = PatternDocument(*qvhost::ParseImageMode(name));
        const ScriptedRun run = RunScripted(qvhost::Descriptor{}, [&](qvhost::HostOptions& options) { options.document = input; });
        ASSERT_EQ(run.StartResult(), 0) << name;
        EXPECT_TRUE(run.document == input) << name;
    }
}

// Layered output renders without the frame layers, and the host's block keeps every enabled byte
// and both output bytes, whether the pass finished or was aborted.
TEST(StartRoutine, LayeredOutputLeavesTheStoredBlockAsItWas) {
    for (const auto& [option, layered] : {std::pair<uint8_t, uint8_t>{2, 0}, std::pair<uint8_t, uint8_t>{0, 5}}) {
        const std::vector<uint8_t> block = StackBlock(3, option, layered, {1});
        for (const int64_t abortAfter : {int64_t{-1}, int64_t{0}}) {
            qvhost::Descriptor descriptor;
            descriptor.Put('FrMP', FromByte4(block));
            const ScriptedRun run = RunScripted(descriptor, [&](qvhost::HostOptions& options) {
                options.abortAfter = abortAfter;
            });
            EXPECT_EQ(run.StartResult(), abortAfter < 0 ? 0 : 32512);
            ASSERT_EQ(run.parameters.size(), block.size());
            const ParameterBlockView after(const_cast<uint8_t*>(run.parameters.data()), static_cast<int64_t>(run.parameters.size()));
            EXPECT_EQ(after.Block().Get(BlockLayout::kOutputOption), option);
            EXPECT_EQ(after.Block().Get(BlockLayout::kLayeredOutputMode), layered);
            for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(after.Layer(i).Get(LayerLayout::kEnabled), i == 1 ? 0 : 1) << i;
        }
    }
}

TEST(StartRoutine, OtherHostsGetNoLayeredOutput) {
    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', FromByte4(StackBlock(1, 2, 5)));
    const ScriptedRun run = RunScripted(descriptor, [](qvhost::HostOptions& options) { options.signature = 'PSPI'; });
    ASSERT_EQ(run.StartResult(), 0);
    const ParameterBlockView after(const_cast<uint8_t*>(run.parameters.data()), static_cast<int64_t>(run.parameters.size()));
    EXPECT_EQ(after.Block().Get(BlockLayout::kOutputOption), 0);
    EXPECT_EQ(after.Block().Get(BlockLayout::kLayeredOutputMode), 0);
}

// A call that shows the dialog ends with the dialog's button: Cancel answers 32512 and skips the
// final pass, Apply runs it.
TEST(StartRoutine, ADialogCallEndsWithTheButtonThatClosedThePreviewDialog) {
    for (const auto& [button, answer] : {std::pair{"press 2", 32512}, std::pair{"press 1", 0}}) {
        SCOPED_TRACE(button);
        const ScriptedRun run = RunScripted(qvhost::Descriptor{}, [button = button](qvhost::HostOptions& options) {
            options.dialog = true;
            // Pressed again while the dialog is still there, should a busy desktop hold the first
            // press back.
            options.uiSteps = UiSteps("wait 1500; " + std::string(button) + "; wait 1500; " + button + "; wait 1500; " + button);
        });
        EXPECT_EQ(run.StartResult(), answer);
    }
}

}  // namespace
