// The plug-in's entry driven through the stand-in host, Quorvel.8bf loaded as a host loads it:
// the selectors' answers, the rectangles emptied after every call, the scripted calls that do
// nothing, the error codes that reach the host, and the hosts the plug-in refuses.
#include <gtest/gtest.h>

#include <algorithm>

#include "EndToEndSupport.h"
#include "QuorvelHostCore/Descriptor.h"
#include "QuorvelHostCore/HostSession.h"
#include "QuorvelHostCore/UiScript.h"

namespace {

using qvhost::HostOptions;
using qvhost::HostRunResult;
using qvhost::HostSession;

qvhost::Document Pattern() {
    qvhost::Document document(48, 32, qvhost::ImageMode{});
    for (int p = 0; p < 3; ++p)
        for (int32_t y = 0; y < 32; ++y)
            for (int32_t x = 0; x < 48; ++x) document.SetSample(p, x, y, static_cast<uint16_t>((x * 5 + y * 7 + p * 40) % 256));
    return document;
}

HostOptions Options() {
    HostOptions options;
    options.pluginPath = endtoend::BinPath("Quorvel.8bf");
    options.document = Pattern();
    return options;
}

struct Outcome {
    HostRunResult result;
    std::unique_ptr<HostSession> session;

    int16_t Answer(int16_t selector) const {
        const qvhost::CallRecord* call = result.Find(selector);
        return call ? call->result : INT16_MIN;
    }
    bool Alerted(int id) const {
        const std::string prefix = "alert " + std::to_string(id) + " ";
        return std::any_of(result.alerts.begin(), result.alerts.end(),
                           [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    }
};

Outcome RunHost(HostOptions options) {
    Outcome outcome;
    outcome.session = std::make_unique<HostSession>(std::move(options));
    outcome.result = outcome.session->Run();
    EXPECT_TRUE(outcome.result.loaded) << outcome.result.error;
    return outcome;
}

bool Empty(const Rect16& r) { return r.top == 0 && r.left == 0 && r.bottom == 0 && r.right == 0; }

TEST(PluginEntry, AboutParametersAndContinueAnswerZero) {
    // The About box of the toolbox library is answered like an alert.
    for (int16_t selector : {kSelectorAbout, kSelectorParameters, kSelectorContinue}) {
        HostOptions options = Options();
        options.rawSelector = selector;
        const Outcome outcome = RunHost(options);
        EXPECT_EQ(outcome.Answer(selector), 0) << selector;
        EXPECT_EQ(outcome.result.exitCode, 0);
    }
}

TEST(PluginEntry, UnknownSelectorsAnswerBadParametersAndStillEmptyTheRectangles) {
    for (int16_t selector : {int16_t{6}, int16_t{7}, int16_t{300}, int16_t{-1}}) {
        HostOptions options = Options();
        options.rawSelector = selector;
        // Rectangles left over from an earlier request.
        options.beforeCall = [](FilterRecord& record, int16_t) {
            record.inRect = record.outRect = record.maskRect = Rect16{0, 0, 8, 8};
        };
        const Outcome outcome = RunHost(options);
        EXPECT_EQ(outcome.Answer(selector), -30100) << selector;
        const FilterRecord& record = outcome.session->Record();
        EXPECT_TRUE(Empty(record.inRect) && Empty(record.outRect) && Empty(record.maskRect)) << selector;
    }
}

TEST(PluginEntry, AScriptedRunCallsPrepareStartAndFinishAndReleasesItsSuites) {
    HostOptions options = Options();
    int32_t bufferSpace = 0;
    options.afterCall = [&bufferSpace](FilterRecord& record, int16_t selector, int16_t) {
        if (selector == kSelectorPrepare) bufferSpace = record.bufferSpace;
    };
    const Outcome outcome = RunHost(options);
    ASSERT_EQ(outcome.result.exitCode, 0);
    std::vector<int16_t> selectors;
    for (const qvhost::CallRecord& call : outcome.result.calls) {
        selectors.push_back(call.selector);
        EXPECT_EQ(call.result, 0) << call.name;
    }
    EXPECT_EQ(selectors, (std::vector<int16_t>{kSelectorPrepare, kSelectorStart, kSelectorFinish}));
    EXPECT_EQ(bufferSpace, 0x200000);  // the product's reserve on a host with room
    EXPECT_TRUE(outcome.result.alerts.empty());
    const auto& log = outcome.session->Log().Lines();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.find("released suite \"df135115-c769-11d0-8079-00c04fd7ec47\"") != std::string::npos;
    }));
    EXPECT_FALSE(std::any_of(log.begin(), log.end(),
                             [](const std::string& line) { return line.find("still acquired") != std::string::npos; }));
}

TEST(PluginEntry, PrepareAsksForBufferSpaceFromTheHostsBudget) {
    // The host's budget is its maxSpace; a small host is asked for half of it.
    for (const int64_t budget : {int64_t{0x300000}, int64_t{0x400000}, int64_t{0x400001}}) {
        HostOptions options = Options();
        options.budget = budget;
        options.rawSelector = kSelectorPrepare;
        int32_t bufferSpace = 0;
        options.afterCall = [&bufferSpace](FilterRecord& record, int16_t, int16_t) { bufferSpace = record.bufferSpace; };
        EXPECT_EQ(RunHost(options).Answer(kSelectorPrepare), 0);
        EXPECT_EQ(bufferSpace, budget <= 0x400000 ? budget / 2 : 0x200000) << budget;
    }
}

TEST(PluginEntry, TxltMakesStartDoNothingEvenForAHostItWouldRefuse) {
    HostOptions options = Options();
    options.txlt = true;
    options.signature = 'QXFL';
    const Outcome outcome = RunHost(options);
    EXPECT_EQ(outcome.Answer(kSelectorStart), 0);
    EXPECT_TRUE(outcome.result.alerts.empty());
    EXPECT_TRUE(outcome.session->Parameters().empty());  // no block was made
    EXPECT_TRUE(outcome.session->GetDocument() == Pattern());
    // The descriptor comes back as it went in.
    ASSERT_TRUE(outcome.session->ResultDescriptor());
    EXPECT_TRUE(outcome.session->ResultDescriptor()->Find('Txlt'));
}

// A descriptor-suite error reaches the host as a code it reports as an error. Its low 16 bits do
// when they are negative; the suites' four-character codes and other codes whose low half is
// positive or zero would read as an error already reported, or as success: they become -30100.
TEST(PluginEntry, DescriptorSuiteErrorsReachTheHostAsErrorsItReports) {
    const std::pair<int32_t, int16_t> cases[] = {
        {0x0001FFA0, -96},          // low half negative: kept
        {-108, -108},               // out of memory
        {-1700, -1700},
        {'Parm', -30100},           // 0x726D, positive
        {'!IMP', -30100},
        {'S!Fd', -30100},
        {0x12345678, -30100},
        {0x00017F00, -30100},       // 32512, the generic failure that shows nothing
        {0x00010000, -30100},       // low half zero: not a success
    };
    for (const auto& [code, answer] : cases) {
        HostOptions options = Options();
        options.descriptorError = code;
        const Outcome outcome = RunHost(options);
        EXPECT_EQ(outcome.Answer(kSelectorPrepare), 0);
        EXPECT_EQ(outcome.Answer(kSelectorStart), answer) << std::hex << code;
        EXPECT_TRUE(outcome.result.alerts.empty()) << std::hex << code;
        EXPECT_NE(outcome.result.exitCode, 0);
    }
}

TEST(PluginEntry, OtherFailuresBelowTheEntryAnswerMemoryFull) {
    // A host whose basic suite cannot acquire suites: the plug-in cannot read the descriptor, and
    // the accessor's refusal is not a descriptor-suite code. The image is left as it was.
    HostOptions options = Options();
    options.beforeCall = [](FilterRecord& record, int16_t) {
        static BasicSuite hollow{};
        if (!record.sSPBasic) return;
        hollow = *record.sSPBasic;
        hollow.AcquireSuite = nullptr;
        record.sSPBasic = &hollow;
    };
    const Outcome outcome = RunHost(options);
    EXPECT_EQ(outcome.Answer(kSelectorStart), -108);
    EXPECT_TRUE(outcome.session->GetDocument() == Pattern()) << "the image is left as it was";
}

// Settings that cannot be a block are no memory failure: the user is told that they are corrupt
// and that the defaults stand in for them.
TEST(PluginEntry, ACorruptBlockIsReportedAsCorrupt) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "qv-e2e-short-" + std::to_string(GetCurrentProcessId()) + ".qvd";
    qvhost::Descriptor descriptor;
    descriptor.Put('FrMP', qvhost::DescriptorValue{qvhost::DescriptorBlob(8, 1)});
    std::string error;
    ASSERT_TRUE(qvhost::WriteDescriptorFile(path, descriptor, error)) << error;
    HostOptions options = Options();
    options.descriptorIn = path;
    const Outcome outcome = RunHost(options);
    EXPECT_EQ(outcome.Answer(kSelectorStart), 0);
    EXPECT_TRUE(outcome.Alerted(17004));
    EXPECT_TRUE(outcome.session->GetDocument() == Pattern()) << "the defaults frame nothing";
    DeleteFileA(path.c_str());
}

TEST(PluginEntry, ACallWithoutSettingsToRunWithIsAnInteractiveCall) {
    // Hosts without scripting, and a host's own menu, hand over no descriptor: the call shows the
    // dialog whatever the play mode says, here cancelled once it is up (pressed again while it is
    // still there, should a busy desktop hold the first press back).
    for (const bool noParameters : {false, true}) {
        HostOptions options = Options();
        options.noDescriptor = true;
        options.noDescriptorParameters = noParameters;
        std::string error;
        EXPECT_TRUE(qvhost::ParseUiScript("wait 1500; press 2; wait 1500; press 2; wait 1500; press 2", options.uiSteps, error)) << error;
        const Outcome outcome = RunHost(options);
        EXPECT_EQ(outcome.Answer(kSelectorStart), 32512) << (noParameters ? "no descriptor parameters" : "no descriptor");
        EXPECT_TRUE(outcome.session->GetDocument() == Pattern());
    }
}

TEST(PluginEntry, AHostWithoutWhatThePlugInNeedsGetsAlert17500) {
    const std::function<void(HostOptions&)> hosts[] = {
        [](HostOptions& o) { o.signature = 'QXFL'; },
        [](HostOptions& o) { o.noAdvanceState = true; },
        [](HostOptions& o) { o.noBufferProcs = true; },
    };
    for (const auto& host : hosts) {
        HostOptions options = Options();
        host(options);
        const Outcome outcome = RunHost(options);
        EXPECT_EQ(outcome.Answer(kSelectorStart), 17500);
        ASSERT_TRUE(outcome.Alerted(17500));
        EXPECT_NE(outcome.result.alerts[0].find("This host does not support necessary features to run this plug-in."),
                  std::string::npos)
            << outcome.result.alerts[0];
        EXPECT_TRUE(outcome.session->GetDocument() == Pattern());
        EXPECT_NE(outcome.result.exitCode, 0);
    }
}

}  // namespace
