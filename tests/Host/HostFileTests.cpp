// The stand-in host's files: an output replaces the user's file only once it is written whole,
// output paths that cannot be written stop a run before the plug-in is loaded, and a damaged
// input stops it before the plug-in is called.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "FunctionPlugin.h"
#include "QuorvelHostCore/FileIO.h"
#include "QuorvelHostCore/ImageFiles.h"
#include "TempFolder.h"
#include "Utf.h"

using namespace hosttest;

namespace {

constexpr char kEarlierContent[] = "the user's earlier file, which a failed write must leave whole";

struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
};
using UniqueFind = std::unique_ptr<void, FindCloser>;

// The names of the files in a folder, sorted: what a write left behind.
std::vector<std::string> FileNames(const TempFolder& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE first = FindFirstFileW(Utf8ToUtf16(folder / "*").c_str(), &entry);
    if (first == INVALID_HANDLE_VALUE) return names;
    const UniqueFind find(first);
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(Utf16ToUtf8(entry.cFileName));
    } while (FindNextFileW(find.get(), &entry));
    std::sort(names.begin(), names.end());
    return names;
}

// A picture of noise, which compresses badly: its files are several times the temporary file's
// write buffer, so a write can fail after bytes reached the disk.
RasterImage Noise(int32_t width, int32_t height, int bitDepth) {
    RasterImage image{width, height, 3, bitDepth, {}};
    const uint32_t full = bitDepth == 16 ? 65535 : 255;
    uint32_t state = 12345;
    for (size_t i = 0; i < static_cast<size_t>(width) * height * 3; ++i) {
        state = state * 1103515245u + 12345u;
        image.samples.push_back(static_cast<uint16_t>((state >> 8) % (full + 1)));
    }
    return image;
}

// Bytes kept in memory: the size an output comes to.
class MemorySink final : public OutputSink {
public:
    bool Write(const void* bytes, size_t count) override {
        bytes_.insert(bytes_.end(), static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count);
        return true;
    }
    size_t Size() const { return bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
};

// Passes the bytes on to the real output until it has taken limit of them, then refuses the
// rest: a disk that fills up in the middle of a write.
class FillingSink final : public OutputSink {
public:
    FillingSink(OutputSink& next, size_t limit) : next_(next), room_(limit) {}
    bool Write(const void* bytes, size_t count) override {
        const size_t taken = std::min(count, room_);
        room_ -= taken;
        return next_.Write(bytes, taken) && taken == count;
    }

private:
    OutputSink& next_;
    size_t room_;
};

struct OutputKind {
    const char* fileName;
    std::function<bool(OutputSink&, std::string&)> produce;
};

std::vector<OutputKind> OutputKinds() {
    static const RasterImage picture16 = Noise(300, 200, 16), picture8 = Noise(800, 600, 8);
    static const std::vector<uint8_t> bytes(300000, 0x5A);
    return {
        {"framed.png", [](OutputSink& sink, std::string& e) { return EncodeImage(picture16, ImageFileFormat::Png, sink, e); }},
        {"framed.jpg", [](OutputSink& sink, std::string& e) { return EncodeImage(picture8, ImageFileFormat::Jpeg, sink, e); }},
        {"preset.qvo", [](OutputSink& sink, std::string& e) {
             if (sink.Write(bytes.data(), bytes.size())) return true;
             e = "the preset could not be written";
             return false;
         }},
    };
}

TEST(OutputFiles, AWriteThatFailsMidwayLeavesTheEarlierFileWholeAndNothingElse) {
    for (const OutputKind& kind : OutputKinds()) {
        MemorySink measure;
        std::string error;
        ASSERT_TRUE(kind.produce(measure, error)) << error;
        const size_t size = measure.Size();
        ASSERT_GT(size, size_t{3} << 16) << kind.fileName;
        for (const size_t limit : {size_t{0}, size_t{100}, size / 2, size - 1}) {
            SCOPED_TRACE(std::string(kind.fileName) + " failing after " + std::to_string(limit) + " bytes");
            TempFolder folder;
            const std::string path = folder / kind.fileName;
            ASSERT_TRUE(WriteTextFile(path, kEarlierContent));
            error.clear();
            EXPECT_FALSE(WriteOutputFile(
                path,
                [&](OutputSink& sink, std::string& reason) {
                    FillingSink filling(sink, limit);
                    return kind.produce(filling, reason);
                },
                error));
            EXPECT_NE(error.find(path), std::string::npos) << error;
            EXPECT_EQ(ReadTextFile(path), kEarlierContent);
            EXPECT_EQ(FileNames(folder), std::vector<std::string>{kind.fileName});
        }
    }
}

TEST(OutputFiles, AWholeWriteReplacesTheEarlierFileAndLeavesNothingElse) {
    for (const OutputKind& kind : OutputKinds()) {
        SCOPED_TRACE(kind.fileName);
        TempFolder folder;
        const std::string path = folder / kind.fileName;
        ASSERT_TRUE(WriteTextFile(path, kEarlierContent));
        MemorySink expected;
        std::string error;
        ASSERT_TRUE(kind.produce(expected, error)) << error;
        ASSERT_TRUE(WriteOutputFile(path, kind.produce, error)) << error;
        EXPECT_EQ(ReadTextFile(path).size(), expected.Size());
        EXPECT_EQ(FileNames(folder), std::vector<std::string>{kind.fileName});
    }
    TempFolder folder;
    const RasterImage picture = Noise(40, 30, 16);
    std::string error;
    ASSERT_TRUE(WriteImageFile(folder / "new.png", picture, error)) << error;
    RasterImage read;
    ASSERT_TRUE(ReadImageFile(folder / "new.png", read, error)) << error;
    EXPECT_EQ(read.samples, picture.samples);
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{"new.png"});
}

TEST(OutputFiles, TheCheckFindsPathsThatCannotBeWritten) {
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(folder / "a folder.png").c_str(), nullptr));
    ASSERT_TRUE(WriteTextFile(folder / "read-only.png", kEarlierContent));
    ASSERT_TRUE(SetFileAttributesW(Utf8ToUtf16(folder / "read-only.png").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteTextFile(folder / "a file", kEarlierContent));
    ASSERT_TRUE(WriteTextFile(folder / "earlier.png", kEarlierContent));
    struct Case {
        std::string path;
        const char* reason;  // null: the path can be written
    };
    const Case cases[] = {
        {folder / "missing folder\\out.png", "its folder does not exist"},
        {folder / "missing\\deeper\\out.png", "its folder does not exist"},
        {folder / "a file\\out.png", "its folder does not exist"},
        {folder / "a folder.png", "a folder has that name"},
        {folder / "read-only.png", "read-only"},
        {folder / "new.png", nullptr},
        {folder / "earlier.png", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string error;
        EXPECT_EQ(CheckOutputPath(c.path, error), c.reason == nullptr) << error;
        if (c.reason) {
            EXPECT_NE(error.find(c.path), std::string::npos) << error;
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
    }
    // The check leaves nothing behind and changes nothing.
    EXPECT_EQ(FileNames(folder), (std::vector<std::string>{"a file", "earlier.png", "read-only.png"}));
    EXPECT_EQ(ReadTextFile(folder / "earlier.png"), kEarlierContent);
    SetFileAttributesW(Utf8ToUtf16(folder / "read-only.png").c_str(), FILE_ATTRIBUTE_NORMAL);
}

std::string BinPath(const char* name) {
    const char* bin = std::getenv("QUORVEL_BIN");
    return std::string(bin ? bin : ".") + "/" + name;
}

bool LogHas(const HostSession& session, const std::string& text) {
    const std::vector<std::string>& lines = session.Log().Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

TEST(HostFiles, AnOutputThatCannotBeWrittenStopsTheRunBeforeThePlugInIsLoaded) {
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(folder / "a folder.png").c_str(), nullptr));
    const std::string missing = folder / "missing\\out";
    struct Case {
        const char* name;
        std::function<void(HostOptions&)> set;
        std::string path;
    };
    const Case cases[] = {
        {"image in a missing folder", [&](HostOptions& o) { o.outputPath = missing + ".png"; }, missing + ".png"},
        {"image where a folder is", [&](HostOptions& o) { o.outputPath = folder / "a folder.png"; }, folder / "a folder.png"},
        {"descriptor in a missing folder", [&](HostOptions& o) { o.descriptorOut = missing + ".qvds"; }, missing + ".qvds"},
        {"preset in a missing folder", [&](HostOptions& o) { o.settingsOut = missing + ".qvo"; }, missing + ".qvo"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostOptions options = OptionsFor(Patterned(32, 24, ImageMode{}));
        options.pluginPath = BinPath("FrameworkTestFilter.8bf");
        c.set(options);
        HostSession session(options);
        const HostRunResult result = session.Run();
        EXPECT_NE(result.exitCode, 0);
        EXPECT_FALSE(result.loaded);
        EXPECT_TRUE(result.calls.empty());
        EXPECT_FALSE(LogHas(session, "host: plug-in")) << "the plug-in was loaded";
        EXPECT_NE(result.error.find(c.path), std::string::npos) << result.error;
        EXPECT_TRUE(LogHas(session, result.error));
    }
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{});
}

// A JPEG cut to the first keepPercent of its bytes.
std::vector<uint8_t> TruncatedJpeg(const TempFolder& folder, size_t keepPercent) {
    const std::string whole = folder / "whole.jpg";
    std::string error;
    EXPECT_TRUE(WriteImageFile(whole, Noise(64, 48, 8), error)) << error;
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ReadWholeFile(whole, bytes));
    DeleteFileW(Utf8ToUtf16(whole).c_str());
    bytes.resize(bytes.size() * keepPercent / 100);
    return bytes;
}

TEST(HostFiles, ADamagedInputStopsTheRunBeforeThePlugInIsCalledAndWritesNothing) {
    for (const size_t keepPercent : {size_t{30}, size_t{60}, size_t{99}}) {
        SCOPED_TRACE(std::to_string(keepPercent) + "% of a JPEG");
        TempFolder folder;
        const std::string input = folder / "photo.jpg", output = folder / "framed.png";
        ASSERT_TRUE(WriteWholeFile(input, TruncatedJpeg(folder, keepPercent)));
        HostOptions options;
        options.inputPath = input;
        options.outputPath = output;
        int starts = 0;
        const StartRun run = RunStart(options, [&](FilterRecord&) {
            ++starts;
            return int16_t{0};
        });
        EXPECT_NE(run.result.exitCode, 0);
        EXPECT_EQ(starts, 0);
        EXPECT_NE(run.result.error.find(input), std::string::npos) << run.result.error;
        EXPECT_NE(run.result.error.find("JPEG decoding failed"), std::string::npos) << run.result.error;
        EXPECT_EQ(FileNames(folder), std::vector<std::string>{"photo.jpg"});
    }
}

TEST(HostFiles, AnOutputFolderThatGoesAwayDuringTheRunFailsTheRunWithAReason) {
    TempFolder folder;
    const std::string outputs = folder / "outputs";
    ASSERT_TRUE(CreateDirectoryW(Utf8ToUtf16(outputs).c_str(), nullptr));
    HostOptions options = OptionsFor(Patterned(32, 24, ImageMode{}));
    options.outputPath = outputs + "\\framed.png";
    options.afterCall = [&](FilterRecord&, int16_t selector, int16_t) {
        if (selector == kSelectorStart) RemoveDirectoryW(Utf8ToUtf16(outputs).c_str());
    };
    const StartRun run = RunStart(options, [](FilterRecord&) { return int16_t{0}; });
    ASSERT_NE(run.result.Find(kSelectorStart), nullptr);
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_NE(run.result.error.find(options.outputPath), std::string::npos) << run.result.error;
    EXPECT_NE(run.result.error.find("its folder does not exist"), std::string::npos) << run.result.error;
}

TEST(HostFiles, AnOutputThatCannotTakeItsPlaceLeavesTheEarlierFileWhole) {
    TempFolder folder;
    const std::string output = folder / "framed.png";
    ASSERT_TRUE(WriteTextFile(output, kEarlierContent));
    // Another program opens the earlier file after the check, without letting it be replaced.
    UniqueFileHandle held;
    HostOptions options = OptionsFor(Patterned(32, 24, ImageMode{}));
    options.outputPath = output;
    options.afterCall = [&](FilterRecord&, int16_t selector, int16_t) {
        if (selector != kSelectorStart) return;
        const HANDLE file = CreateFileW(Utf8ToUtf16(output).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) held.reset(file);
    };
    const StartRun run = RunStart(options, [](FilterRecord&) { return int16_t{0}; });
    ASSERT_TRUE(held) << "the earlier file could not be held open";
    EXPECT_EQ(run.result.exitCode, 1);
    EXPECT_NE(run.result.error.find(output), std::string::npos) << run.result.error;
    held.reset();
    EXPECT_EQ(ReadTextFile(output), kEarlierContent);
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{"framed.png"});
}

}  // namespace
