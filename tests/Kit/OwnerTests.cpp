#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>

#include "GdiOwner.h"
#include "TempFolder.h"
#include "Utf.h"
#include "Win32Owners.h"

namespace {

// A handle of our own that counts how often each value was given back.
int gClosed[4] = {};
struct CountingPolicy {
    using Handle = int;
    static constexpr Handle Empty() noexcept { return 0; }
    static void Close(Handle handle) noexcept { ++gClosed[handle]; }
};
using CountingOwner = UniqueOwner<CountingPolicy>;

class UniqueOwnerTest : public ::testing::Test {
protected:
    void SetUp() override { std::fill(std::begin(gClosed), std::end(gClosed), 0); }
};

}  // namespace

TEST_F(UniqueOwnerTest, ClosesWhatItHoldsOnceWhenItGoes) {
    { CountingOwner owner(1); EXPECT_TRUE(owner); EXPECT_EQ(owner.Get(), 1); }
    EXPECT_EQ(gClosed[1], 1);
    { CountingOwner empty; EXPECT_FALSE(empty); }
    EXPECT_EQ(gClosed[0], 0);  // the empty value is never given back
}

TEST_F(UniqueOwnerTest, AMoveHandsTheHandleOverAndAReleaseKeepsItOpen) {
    {
        CountingOwner first(1);
        CountingOwner second(std::move(first));
        EXPECT_FALSE(first);
        CountingOwner third(2);
        third = std::move(second);  // 2 goes, 1 moves on
        EXPECT_EQ(gClosed[2], 1);
        EXPECT_EQ(third.Get(), 1);
        EXPECT_EQ(third.Release(), 1);
        EXPECT_FALSE(third);
    }
    EXPECT_EQ(gClosed[1], 0);
}

TEST_F(UniqueOwnerTest, ResetAndReceiveGiveBackWhatWasHeldFirst) {
    CountingOwner owner(1);
    owner.Reset(2);
    EXPECT_EQ(gClosed[1], 1);
    int* slot = owner.Receive();
    EXPECT_EQ(gClosed[2], 1);
    EXPECT_EQ(*slot, 0);
    *slot = 3;
    owner.Reset();
    EXPECT_EQ(gClosed[3], 1);
}

TEST(Win32Owners, AFileIsClosedWhenItsOwnerGoes) {
    TempFolder folder;
    const std::wstring path = Utf8ToUtf16(folder / "held.bin");
    {
        OwnedFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        // Opened without sharing: nobody else gets it while the owner holds it.
        OwnedFile second(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_FALSE(second);
    }
    OwnedFile again(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(again);
    // A failed open is empty, not null.
    OwnedFile missing(CreateFileW((path + L".missing").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.Get(), INVALID_HANDLE_VALUE);
}

TEST(Win32Owners, AFolderListingIsClosedWhenItsOwnerGoes) {
    TempFolder folder;
    const std::wstring inner = Utf8ToUtf16(folder / "inner");
    ASSERT_TRUE(CreateDirectoryW(inner.c_str(), nullptr));
    {
        WIN32_FIND_DATAW found{};
        OwnedFolderListing listing(FindFirstFileW((inner + L"\\*").c_str(), &found));
        ASSERT_TRUE(listing);
    }
    EXPECT_TRUE(RemoveDirectoryW(inner.c_str()));
    WIN32_FIND_DATAW found{};
    OwnedFolderListing none(FindFirstFileW((inner + L"\\*").c_str(), &found));
    EXPECT_FALSE(none);
}

TEST(Win32Owners, ARegistryKeyIsFilledThroughReceive) {
    const std::wstring name = L"Software\\QuorvelKitTest" + std::to_wstring(GetCurrentProcessId());
    {
        OwnedRegistryKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, key.Receive(), nullptr),
                  ERROR_SUCCESS);
        EXPECT_TRUE(key);
        const DWORD value = 7;
        EXPECT_EQ(RegSetValueExW(key.Get(), L"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value),
                  ERROR_SUCCESS);
    }
    OwnedRegistryKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, name.c_str(), 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key.Get(), L"v", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(value, 7u);
    key.Reset();
    EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, name.c_str()), ERROR_SUCCESS);
}

TEST(Win32Owners, AModuleAnswersItsExportsByNameAndNothingWhenEmpty) {
    using GetTickCountProc = DWORD(WINAPI*)();
    OwnedModule kernel(LoadLibraryW(L"kernel32.dll"));
    ASSERT_TRUE(kernel);
    EXPECT_NE(ExportedFunction<GetTickCountProc>(kernel, "GetTickCount"), nullptr);
    EXPECT_EQ(ExportedFunction<GetTickCountProc>(kernel, "NoSuchExport"), nullptr);
    const OwnedModule missing(LoadLibraryW(L"NoSuchLibraryOfQuorvel.dll"));
    EXPECT_FALSE(missing);
    EXPECT_EQ(ExportedFunction<GetTickCountProc>(missing, "GetTickCount"), nullptr);
}

TEST(GdiOwners, ARegionIsDeletedWhenItsOwnerGoes) {
    HRGN raw = nullptr;
    {
        OwnedRgn region(CreateRectRgn(0, 0, 4, 4));
        raw = region.Get();
        EXPECT_EQ(GetObjectType(raw), static_cast<DWORD>(OBJ_REGION));
    }
    EXPECT_EQ(GetObjectType(raw), 0u);
}
