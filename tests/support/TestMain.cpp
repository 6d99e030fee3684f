// The entry of every test program: the program's own module stands in for the plug-in's, so its
// resources (when linked in) are the ones alerts and strings load from.
#include <windows.h>

#include <gtest/gtest.h>

#include "PluginGlobals.h"

#include <cstdlib>

int main(int argc, char** argv) {
    SetDLLInstance(GetModuleHandleW(nullptr));
    // No test may wait for a person: every alert is answered with its first button and logged,
    // unless a test asks for another answer.
    if (!std::getenv("QUORVEL_ALERT_ANSWER")) _putenv_s("QUORVEL_ALERT_ANSWER", "1");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
