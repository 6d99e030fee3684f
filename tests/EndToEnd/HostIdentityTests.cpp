// Host identity: the three host builds are told apart by their version resources, the host
// version comes from the 'vers' property, and the host program works from the command line.
#include <gtest/gtest.h>

#include "EndToEndSupport.h"
#include "HostServices.h"
#include "PluginMain.h"
#include "QuorvelHostCore/FileIO.h"
#include "QuorvelHostCore/HostSession.h"

namespace {

using endtoend::BinPath;
using endtoend::Quoted;
using endtoend::RunProcess;

TEST(HostIdentity, TheThreeHostBuildsAreKindsOneTwoAndThree) {
    const struct {
        const char* host;
        DWORD kind;
    } builds[] = {{"QuorvelHost.exe", 1}, {"QuorvelHostPhotoPnt.exe", 2}, {"QuorvelHostElements.exe", 3}};
    for (const auto& build : builds) {
        const auto probe = RunProcess(BinPath("HostKindProbe.exe"), Quoted(BinPath(build.host)));
        EXPECT_EQ(probe.exitCode, build.kind) << build.host << ": " << probe.output;
    }
}

// The plug-in's own code, linked into this program, as the host's entry.
void LinkedPlugin(int16_t selector, void* record, intptr_t* data, int16_t* result) {
    PluginMain(selector, record, data, result, kQuorvelClass);
}

TEST(HostIdentity, TheHostVersionAndSignatureAreReadAtStart) {
    qvhost::HostOptions options;
    options.entry = LinkedPlugin;
    options.document = qvhost::Document(16, 16, qvhost::ImageMode{});
    options.hostVersion = (12u << 16) | (1u << 8) | 2u;  // 12.1.2
    options.signature = 'vtRl';
    qvhost::HostSession session(options);
    const qvhost::HostRunResult result = session.Run();
    ASSERT_TRUE(result.loaded) << result.error;
    EXPECT_EQ(RecordedHostVersion(), 12 * 256 + 1 * 16 + 2);
    EXPECT_EQ(RecordedHostSignature(), uint32_t{'vtRl'});
    EXPECT_TRUE(IsPhotoshopHost());
}

TEST(HostProgram, RunsAnImageFromTheCommandLine) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string output = std::string(folder) + "qvhost-e2e-" + std::to_string(GetCurrentProcessId()) + ".png";
    const std::string photo = endtoend::SourcePath("samples/photo.png");
    const auto run = RunProcess(BinPath("QuorvelHost.exe"), "QuorvelHost --plugin " + Quoted(BinPath("Quorvel.8bf")) +
                                                                " " + Quoted(photo) + " " + Quoted(output));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("call start (3)"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("host: output image"), std::string::npos) << run.output;
    EXPECT_NE(GetFileAttributesA(output.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(output.c_str());
}

TEST(HostProgram, RefusesBadOptionsAndLibrariesThatAreNoPlugIns) {
    const auto bad = RunProcess(BinPath("QuorvelHost.exe"), "QuorvelHost --plugin x.8bf --mode lab8 in.png out.png");
    EXPECT_EQ(bad.exitCode, 2u);
    EXPECT_NE(bad.output.find("bad value for --mode"), std::string::npos) << bad.output;
    EXPECT_NE(bad.output.find("usage: QuorvelHost"), std::string::npos) << bad.output;

    const auto foreign =
        RunProcess(BinPath("QuorvelHost.exe"), "QuorvelHost --selector 1 --plugin " + Quoted(BinPath("VantrelToolBox2.dll")));
    EXPECT_NE(foreign.exitCode, 0u);
    EXPECT_NE(foreign.output.find("no property list"), std::string::npos) << foreign.output;
}

}  // namespace
