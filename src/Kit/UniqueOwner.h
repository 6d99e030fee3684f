// The kit's one owner: every handle the system takes from Windows, from the host or from a library
// (files, registry keys, modules, GDI and USER objects, host handles, buffer locks) is held by a
// UniqueOwner whose policy names the handle's empty value and how it is given back.
//
// The kit (src/Kit) is the bottom floor of the plug-in: it includes nothing of ours, so every
// component, down to the shared file utilities, can hold its handles with it.
#pragma once

#include <utility>

// A policy is a struct with
//   using Handle = ...;                    the handle type
//   static Handle Empty() noexcept;         the value that holds nothing
//   static void Close(Handle) noexcept;     gives a handle back; never throws, whatever it calls
template <typename Policy>
class UniqueOwner {
public:
    using Handle = typename Policy::Handle;

    UniqueOwner() noexcept = default;
    explicit UniqueOwner(Handle handle) noexcept : handle_(handle) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : handle_(other.Release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~UniqueOwner() { Reset(); }

    Handle Get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Policy::Empty(); }

    // Hands the handle over: the owner holds nothing and closes nothing.
    Handle Release() noexcept { return std::exchange(handle_, Policy::Empty()); }
    // Gives back what is held and takes handle.
    void Reset(Handle handle = Policy::Empty()) noexcept {
        const Handle old = std::exchange(handle_, handle);
        if (old != Policy::Empty()) Policy::Close(old);
    }
    // For a function that hands a new handle back through a pointer: what was held goes first.
    Handle* Receive() noexcept {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = Policy::Empty();
};

// The common policy: a handle that is empty when null, given back by one function.
template <typename H, auto CloseFunction>
struct NullEmptyPolicy {
    using Handle = H;
    static constexpr Handle Empty() noexcept { return Handle{}; }
    static void Close(Handle handle) noexcept { CloseFunction(handle); }
};
