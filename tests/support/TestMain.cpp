// The entry of every test program: the program's own module stands in for the plug-in's, so its
// resources (when linked in) are the ones alerts and strings load from.
#include <windows.h>

#include <gtest/gtest.h>

#include "PluginGlobals.h"

int main(int argc, char** argv) {
    SetDLLInstance(GetModuleHandleW(nullptr));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
