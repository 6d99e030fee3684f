// QuorvelHost.exe: runs a filter plug-in over an image file the way a host does, printing every
// call and its result.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "QuorvelHostCore/HostCommandLine.h"
#include "QuorvelHostCore/TextConversion.h"

int main() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(qvhost::Narrow(wide[i]));
    LocalFree(wide);

    qvhost::HostOptions options;
    bool help = false;
    std::string error;
    if (!qvhost::ParseCommandLine(arguments, options, help, error)) {
        std::fprintf(stderr, "QuorvelHost: %s\n\n%s", error.c_str(), qvhost::UsageText().c_str());
        return 2;
    }
    if (help) {
        std::fputs(qvhost::UsageText().c_str(), stdout);
        return 0;
    }
    options.echo = true;
    qvhost::HostSession session(std::move(options));
    return session.Run().exitCode;
}
