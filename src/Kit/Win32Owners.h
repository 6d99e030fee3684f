// Owners of the kernel, registry and loader handles the system opens: files and folder listings,
// registry keys and loaded libraries. Each handle is given back when its owner goes.
#pragma once

#include <windows.h>

#include "UniqueOwner.h"

// Files and listings are empty at INVALID_HANDLE_VALUE, which is what CreateFile and
// FindFirstFile answer on failure; null never comes back from them.
template <auto CloseFunction>
struct InvalidValueEmptyPolicy {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { CloseFunction(handle); }
};

// Wrappers rather than the functions themselves: the address of a function imported from a DLL
// is no constant a template can take.
inline void CloseKernelHandle(HANDLE handle) noexcept { CloseHandle(handle); }
inline void CloseFolderListing(HANDLE listing) noexcept { FindClose(listing); }
inline void CloseRegistryKey(HKEY key) noexcept { RegCloseKey(key); }
inline void FreeLoadedLibrary(HMODULE module) noexcept { FreeLibrary(module); }

// A file from CreateFile.
using OwnedFile = UniqueOwner<InvalidValueEmptyPolicy<CloseKernelHandle>>;
// A folder listing from FindFirstFile.
using OwnedFolderListing = UniqueOwner<InvalidValueEmptyPolicy<CloseFolderListing>>;
// An opened or created registry key (fill it through Receive()).
using OwnedRegistryKey = UniqueOwner<NullEmptyPolicy<HKEY, CloseRegistryKey>>;
// A library from LoadLibrary.
using OwnedModule = UniqueOwner<NullEmptyPolicy<HMODULE, FreeLoadedLibrary>>;

// A function the module exports, by name or by ordinal (MAKEINTRESOURCEA), as the type the
// caller expects; null when the module is empty or lacks it.
template <typename Function>
Function ExportedFunction(const OwnedModule& module, const char* name) noexcept {
    if (!module) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module.Get(), name)));
}
