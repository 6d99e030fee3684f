#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "LibraryTestSupport.h"
#include "Libraries.h"
#include "HostCall.h"
#include "QVDatabase.h"

namespace {

// Each case starts and ends with both libraries closed and the default library path.
class CallLibraries : public testing::Test {
protected:
    void SetUp() override { CloseLibraries(); }
    void TearDown() override {
        CloseLibraries();
        SetLibraryPathSetting("");
    }

    static void OpenLibraries() { ::OpenLibraries(HostCall::Current().number); }

    ScratchFolder folder;
};

}  // namespace

TEST_F(CallLibraries, OpensTheFramesLibraryAtTheLibraryPathAndThePresetsLibraryAtItsPlace) {
    SetLibraryPathSetting(folder.File("Quorvel.sdb"));
    OpenLibraries();
    ASSERT_NE(FramesLibrary(), nullptr);
    EXPECT_EQ(std::string(FramesLibrary()->Path()), folder.Path());
    ASSERT_NE(PresetsLibrary(), nullptr);
    EXPECT_NE(std::string(PresetsLibrary()->Path()).find("\\Vantrel Software\\Quorvel 4.6"), std::string::npos);
    // The short wait of the open is over: the libraries' work waits for other processes as ever.
    EXPECT_EQ(FramesLibrary()->BusyTimeout(), CppSQLiteDB::kDefaultBusyTimeoutMs);
    EXPECT_EQ(PresetsLibrary()->BusyTimeout(), CppSQLiteDB::kDefaultBusyTimeoutMs);

    // The libraries outlive the dialog; another dialog keeps the ones that are open.
    QVDatabase* frames = FramesLibrary();
    OpenLibraries();
    EXPECT_EQ(FramesLibrary(), frames);
}

TEST_F(CallLibraries, AnEmptyLibraryPathOpensTheDefaultPlace) {
    OpenLibraries();
    ASSERT_NE(FramesLibrary(), nullptr);
    QVDatabase defaults;
    ASSERT_EQ(defaults.BuildPath(), 0);
    EXPECT_EQ(std::string(FramesLibrary()->Path()) + "\\Quorvel.sdb", defaults.Path());
}

TEST_F(CallLibraries, ALibraryThatCannotOpenIsAbsentLeftAloneAndReported) {
    std::vector<unsigned char> oldLibrary(2048, 0x20);
    const std::string signature = "** This file contains an SQLite 2.1 database **";
    std::copy(signature.begin(), signature.end(), oldLibrary.begin());
    // A library whose first page, the one that holds the schema, was overwritten behind the
    // file header.
    std::vector<unsigned char> damagedSchema;
    {
        const std::string sound = folder.File("Sound.sdb");
        {
            QVDatabase library;
            ASSERT_EQ(library.OpenAt(sound.c_str()), 0);
        }
        damagedSchema = ReadBytes(sound);
        ASSERT_GT(damagedSchema.size(), 1024u);
        std::fill(damagedSchema.begin() + 100, damagedSchema.begin() + 1024, 0xC3);
    }
    // Files that are no library: they are not made one.
    std::vector<unsigned char> otherProgram;
    {
        const std::string other = folder.File("Other.db");
        CppSQLiteDB database;
        database.Open(other.c_str());
        database.ExecDML("create table Notes (Text Text);");
        database.Close();
        otherProgram = ReadBytes(other);
    }
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"garbage", std::vector<unsigned char>(1000, 0x5A)},
        {"an old SQLite 2 library", oldLibrary},
        {"a library with a damaged schema page", damagedSchema},
        {"an empty text file", {}},
        {"another program's database", otherProgram},
    };
    for (const auto& library : cases) {
        SCOPED_TRACE(library.what);
        CloseLibraries();
        const std::string file = folder.File("Quorvel.sdb");
        WriteBytes(file, library.bytes);
        SetLibraryPathSetting(file);
        AlertLog alerts;
        OpenLibraries();
        EXPECT_EQ(FramesLibrary(), nullptr);
        EXPECT_NE(PresetsLibrary(), nullptr);
        EXPECT_EQ(ReadBytes(file), library.bytes);
        EXPECT_EQ(alerts.Lines(), std::vector<std::string>{LibraryNotOpenedAlert(file)});
    }
}

// ---- A library that another process or connection keeps locked

namespace {

constexpr const char* kLockedLibraryVariable = "QUORVEL_LOCKED_LIBRARY";
constexpr const char* kLockEventsVariable = "QUORVEL_LOCK_EVENTS";

std::wstring LockEventName(const std::string& stem, const wchar_t* which) {
    return L"QuorvelLibraryLock-" + std::wstring(stem.begin(), stem.end()) + L"-" + which;
}

// Holds the library as a writer does between its first write and its commit: nobody else can
// read it meanwhile.
class ExclusiveLock {
public:
    explicit ExclusiveLock(const std::string& file) {
        holder_.Open(file.c_str());
        holder_.ExecDML("begin exclusive;");
    }
    void Release() { holder_.ExecDML("rollback;"); }

private:
    CppSQLiteDB holder_;
};

// Run in a child process: locks the library named by the environment, says so, and keeps the
// lock until it is told to let go.
TEST(LockHolderChild, HoldsTheLibraryLocked) {
    const char* file = std::getenv(kLockedLibraryVariable);
    const char* events = std::getenv(kLockEventsVariable);
    if (!file || !*file || !events || !*events) GTEST_SKIP() << "only run by LockedLibrary";
    HANDLE locked = OpenEventW(EVENT_MODIFY_STATE, FALSE, LockEventName(events, L"locked").c_str());
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, LockEventName(events, L"release").c_str());
    ASSERT_NE(locked, nullptr);
    ASSERT_NE(release, nullptr);
    ExclusiveLock lock(file);
    SetEvent(locked);
    EXPECT_EQ(WaitForSingleObject(release, 300000), WAIT_OBJECT_0);
    lock.Release();
    CloseHandle(locked);
    CloseHandle(release);
}

// Who holds the lock: a second connection of this process, or another process.
enum class LockHolder { Connection, Process };

// Keeps the library locked by the holder of the case until Release.
class LockedLibrary {
public:
    LockedLibrary(LockHolder holder, const std::string& file) {
        if (holder == LockHolder::Connection) {
            connection_ = std::make_unique<ExclusiveLock>(file);
            return;
        }
        const std::string stem = std::to_string(GetCurrentProcessId());
        locked_ = CreateEventW(nullptr, TRUE, FALSE, LockEventName(stem, L"locked").c_str());
        release_ = CreateEventW(nullptr, TRUE, FALSE, LockEventName(stem, L"release").c_str());
        process_ = std::make_unique<ChildTestRun>(
            "LockHolderChild.*", ChildTestRun::Environment{{kLockedLibraryVariable, file}, {kLockEventsVariable, stem}});
        holding_ = process_->Started() && WaitForSingleObject(locked_, 30000) == WAIT_OBJECT_0;
    }
    ~LockedLibrary() {
        Release();
        if (locked_) CloseHandle(locked_);
        if (release_) CloseHandle(release_);
    }
    bool Holding() const { return connection_ || holding_; }
    void Release() {
        if (connection_) connection_->Release();
        connection_.reset();
        if (process_) {
            SetEvent(release_);
            EXPECT_EQ(process_->Wait(), 0) << "the lock holder failed";
            process_.reset();
        }
    }

private:
    std::unique_ptr<ExclusiveLock> connection_;
    std::unique_ptr<ChildTestRun> process_;
    HANDLE locked_ = nullptr;
    HANDLE release_ = nullptr;
    bool holding_ = false;
};

class LockedLibraryOpen : public testing::TestWithParam<LockHolder> {
protected:
    void SetUp() override { CloseLibraries(); }
    void TearDown() override {
        CloseLibraries();
        SetLibraryPathSetting("");
    }
    ScratchFolder folder;
};

// Far below the minute that the library's statements wait, far above the few seconds of the
// windowless dialog's open: the bound is what is checked, not how long it took.
constexpr auto kGenerousBound = std::chrono::seconds(30);

}  // namespace

TEST_P(LockedLibraryOpen, FailsWithinTheBoundWithTheAlertOncePerCallAndOpensInTheNextCall) {
    const std::string file = folder.File("Quorvel.sdb");
    {
        QVDatabase library;
        ASSERT_EQ(library.OpenAt(file.c_str()), 0);
        EXPECT_EQ(library.NewRecordID(), 10001);
    }
    SetLibraryPathSetting(file);
    AlertLog alerts;
    LockedLibrary lock(GetParam(), file);
    ASSERT_TRUE(lock.Holding());

    // The start of a host call opens the libraries more than once (script parameters, the start
    // routine): the locked library is waited for once and reported once.
    const auto started = std::chrono::steady_clock::now();
    for (int dialog = 0; dialog < 3; ++dialog) {
        OpenLibraries(HostCall::Current().number);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, kGenerousBound);
    EXPECT_EQ(FramesLibrary(), nullptr);
    EXPECT_NE(PresetsLibrary(), nullptr);
    EXPECT_EQ(alerts.Lines(), std::vector<std::string>{LibraryNotOpenedAlert(file)});

    // Once the lock is gone, the next host call opens the library as it was.
    lock.Release();
    {
        HostCallScope nextCall(HostCall{});
        OpenLibraries(nextCall.Call().number);
    }
    ASSERT_NE(FramesLibrary(), nullptr);
    EXPECT_EQ(FramesLibrary()->NewRecordID(), 10002);
    EXPECT_EQ(alerts.Lines().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Holders, LockedLibraryOpen, testing::Values(LockHolder::Connection, LockHolder::Process),
                         [](const testing::TestParamInfo<LockHolder>& info) {
                             return info.param == LockHolder::Connection ? "SecondConnection" : "OtherProcess";
                         });
