// The library's doors: the loader's DllMain and the host's ENTRYPOINT, which hands the dispatch the
// module's filter class. No exception leaves them.
#include <windows.h>
#include <commctrl.h>

#include "CurrentException.h"
#include "DrawingPort.h"
#include "PluginMain.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    // Detaching may run after the common controls library itself went away: nothing calls it then.
    if (reason == DLL_PROCESS_ATTACH || reason == DLL_THREAD_ATTACH) {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
    }
    return TRUE;
}

// The record is an AboutRecord for the about selector and a FilterRecord for every other one.
extern "C" __declspec(dllexport) void ENTRYPOINT(int16_t selector, void* record, intptr_t* data, int16_t* result) {
    if (!result) return;  // nowhere to answer: a host that gives no result word gets nothing done
    try {
        *result = 0;
        PluginMain(selector, record, data, result, kModuleFilterClass);
    } catch (...) {
        // The dispatcher below answers every failure itself; what still reaches the door is
        // nothing the call planned for, and the host hears out-of-memory, whatever it carries.
        *result = CodeOfCurrentException(Err::MemoryFull, ThrownCodes::kNone);
    }
    // A port the dialog code could not dispose of while it was in use (the desktop port) goes now.
    DisposeDeferredPort();
}
