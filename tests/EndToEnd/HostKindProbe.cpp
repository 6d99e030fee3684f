// HostKindProbe: exits with the host kind the plug-in's code detects. The plug-in takes the host
// executable from the first token of the command line, so a test starts this program with a host
// build's path there and reads the kind of that build.
#include <cstdio>

#include "HostServices.h"

int main() {
    char internalName[256], productName[256];
    GetHostVersionStrings(internalName, productName);
    const int32_t kind = GetHostKind();
    std::printf("kind %d, internal name \"%s\", product name \"%s\"\n", kind, internalName, productName);
    return kind;
}
