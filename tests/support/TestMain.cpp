// The entry of every test program. The components find their resources in the module they are
// linked into: here the program's own, which holds the plug-in's resources when it links them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The exit code of a program that crashed, as abort() gives it.
constexpr UINT kCrashedExitCode = 3;

// Under Wine an unhandled exception starts the crash debugger, which prints a backtrace and ends
// the process with exit code 0: ctest would count a crashed program as passed. The program ends
// itself with a failure instead, naming the module and offset of the fault for addr2line.
LONG WINAPI EndCrashedProgram(EXCEPTION_POINTERS* info) noexcept {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<const char*>(record.ExceptionAddress), &module);
    if (module) GetModuleFileNameA(module, name, MAX_PATH);
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::fprintf(stderr, "\nthe program crashed in %s.%s: exception 0x%08lX at %p (%s +0x%llx)\n",
                 test ? test->test_suite_name() : "?", test ? test->name() : "?", record.ExceptionCode,
                 record.ExceptionAddress, name,
                 static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(record.ExceptionAddress) -
                                                 reinterpret_cast<uintptr_t>(module)));
    std::fflush(stdout);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), kCrashedExitCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
    SetUnhandledExceptionFilter(EndCrashedProgram);
    // No test may wait for a person: every alert is answered with its first button and logged,
    // unless a test asks for another answer.
    if (!std::getenv("QUORVEL_ALERT_ANSWER")) _putenv_s("QUORVEL_ALERT_ANSWER", "1");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
