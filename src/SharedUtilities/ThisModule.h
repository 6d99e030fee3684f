// The module this code is linked into: the plug-in, or a program that links the components (a
// test program, the stand-in host's probes). The linker places the module's image base at
// __ImageBase, and a module's handle is its image base, so the handle is known from the first
// instruction on, without a global that the entry point must fill, and every module finds its own
// resources.
#pragma once

#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

inline HINSTANCE ThisModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }
