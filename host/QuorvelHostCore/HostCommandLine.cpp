#include "HostCommandLine.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

namespace qvhost {
namespace {

bool ParseInteger(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    // Base 0: decimal, or hexadecimal with 0x.
    value = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool ParseSignature(const std::string& text, uint32_t& signature) {
    if (text.size() != 4) return false;
    signature = 0;
    for (char c : text) signature = (signature << 8) | static_cast<uint8_t>(c);
    return true;
}

bool ParseVersion(const std::string& text, uint32_t& packed) {
    unsigned major = 0, minor = 0, fix = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u%c", &major, &minor, &fix, &tail) != 3 || major > 0xFFFF || minor > 0xFF ||
        fix > 0xFF)
        return false;
    packed = (major << 16) | (minor << 8) | fix;
    return true;
}

bool ParseSelection(const std::string& text, PixelRect& rect) {
    long long x, y, w, h;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%lld,%lld,%lld,%lld%c", &x, &y, &w, &h, &tail) != 4 || w <= 0 || h <= 0 ||
        x < 0 || y < 0 || x + w > 30000 || y + h > 30000)
        return false;
    rect = {static_cast<int32_t>(y), static_cast<int32_t>(x), static_cast<int32_t>(y + h), static_cast<int32_t>(x + w)};
    return true;
}

}  // namespace

std::string UsageText() {
    return "usage: QuorvelHost --plugin FILE.8bf [options] IN OUT\n"
           "  IN, OUT                 PNG or JPEG files (OUT is JPEG when it ends in .jpg/.jpeg)\n"
           "  --mode M                gray8 gray16 rgb8 rgb16 cmyk8 cmyk16 (default rgb8)\n"
           "  --signature CODE        host signature, four characters (default 8BIM)\n"
           "  --host-version A.B.C    the host version the 'vers' property answers (default 13.0.0)\n"
           "  --dialog                ask for the dialog (playInfo display); default: scripted, no dialog\n"
           "  --settings FILE.qvo     preset whose settings go into the descriptor as 'FrMP'\n"
           "  --settings-out FILE.qvo write the parameter block after the run as a preset\n"
           "  --frame-folder DIR      relative frame paths of --settings are found in DIR\n"
           "                          (default: the preset's folder)\n"
           "  --descriptor-in FILE    start from this descriptor file\n"
           "  --descriptor-out FILE   write the descriptor the plug-in leaves\n"
           "  --no-descriptor         hand start no descriptor (an interactive call)\n"
           "  --no-scripting          no descriptor parameters at all, as hosts without scripting\n"
           "  --txlt                  put 'Txlt' into the descriptor\n"
           "  --descriptor-error CODE every descriptor-suite call fails with this 32-bit code\n"
           "  --abort-after N         abortProc answers true from the Nth progress call on\n"
           "  --budget BYTES          buffer memory the host grants (default 1073741824)\n"
           "  --tile N                the host's tile size in pixels, reported in the record (requests are\n"
           "                          still served whole)\n"
           "  --no-advance-state      offer no advanceState\n"
           "  --no-buffer-procs       offer no buffer procedures\n"
           "  --no-handle-procs       offer no handle procedures\n"
           "  --filter-case N         the filter case to report\n"
           "  --selection X,Y,W,H     a rectangular selection\n"
           "  --layer-below SOURCE    a layer below the target (repeat: bottom first); SOURCE is an image file\n"
           "                          of the document's size or fill:V[,V...] (8-bit values, one a plane)\n"
           "  --layer-above SOURCE    a layer above the target (repeat: bottom first)\n"
           "  --transparency SOURCE   the target is a layer with this transparency plane\n"
           "  --alpha NAME=SOURCE     an alpha channel of that name (repeat for more)\n"
           "  --no-channel-ports      offer no channel ports (neither procedures nor suite)\n"
           "  --no-document-info      offer no document information\n"
           "  --repeat-after-deselect answer a plug-in that leaves a block in the data word with a selection\n"
           "                          active: undo, deselect and run the filter again\n"
           "  --about                 call only the about selector\n"
           "  --selector N            call only selector N (no image needed)\n"
           "  --interactive-alerts    leave the plug-in's alerts to the user\n"
           "  --ui \"STEPS\"            drive the plug-in's dialogs from a second thread while the calls run;\n"
           "                          STEPS is a ';'-separated list of:\n"
           "                            wait MS           pause (up to 60000 ms)\n"
           "                            shot FILE.png     picture of every visible window of the process\n"
           "                            press ID          the item's command in the active dialog\n"
           "                            key NAME          a key: Return Escape Tab Up Down Left Right Space,\n"
           "                                              a letter or digit, Ctrl+letter\n"
           "                            click X Y         a click at client coordinates of the active dialog\n"
           "                            drag X1 Y1 X2 Y2  a drag in client coordinates of the active dialog\n"
           "                            caption FILE      adds the active dialog's caption to a text file\n"
           "                            menu ID           the menu command ID in the active dialog\n"
           "                          each step but wait waits up to 5 s for a dialog; a failed step fails the\n"
           "                          run and cancels the dialogs still up\n"
           "  --log FILE              append the log to FILE as well\n"
           "  --help                  this text\n";
}

bool ParseCommandLine(const std::vector<std::string>& arguments, HostOptions& o, bool& helpRequested,
                      std::string& error) {
    helpRequested = false;
    std::vector<std::string> positional;
    using Flag = std::function<void()>;
    using Valued = std::function<bool(const std::string&)>;
    const std::map<std::string, Flag> flags = {
        {"--dialog", [&] { o.dialog = true; }},
        {"--no-descriptor", [&] { o.noDescriptor = true; }},
        {"--no-scripting", [&] { o.noDescriptorParameters = true; }},
        {"--txlt", [&] { o.txlt = true; }},
        {"--no-advance-state", [&] { o.noAdvanceState = true; }},
        {"--no-buffer-procs", [&] { o.noBufferProcs = true; }},
        {"--no-handle-procs", [&] { o.noHandleProcs = true; }},
        {"--repeat-after-deselect", [&] { o.repeatAfterDeselect = true; }},
        {"--no-channel-ports", [&] { o.noChannelPorts = true; }},
        {"--no-document-info", [&] { o.noDocumentInfo = true; }},
        {"--about", [&] { o.about = true; }},
        {"--interactive-alerts", [&] { o.interactiveAlerts = true; }},
        {"--help", [&] { helpRequested = true; }},
    };
    long long number = 0;
    std::string uiError;  // which step of --ui is wrong, and why
    const std::map<std::string, Valued> valued = {
        {"--plugin", [&](const std::string& v) { o.pluginPath = v; return !v.empty(); }},
        {"--mode", [&](const std::string& v) {
             const auto mode = ParseImageMode(v);
             if (mode) o.mode = *mode;
             return mode.has_value();
         }},
        {"--signature", [&](const std::string& v) { return ParseSignature(v, o.signature); }},
        {"--host-version", [&](const std::string& v) { return ParseVersion(v, o.hostVersion); }},
        {"--settings", [&](const std::string& v) { o.settingsIn = v; return !v.empty(); }},
        {"--settings-out", [&](const std::string& v) { o.settingsOut = v; return !v.empty(); }},
        {"--frame-folder", [&](const std::string& v) { o.frameFolder = v; return !v.empty(); }},
        {"--descriptor-in", [&](const std::string& v) { o.descriptorIn = v; return !v.empty(); }},
        {"--descriptor-out", [&](const std::string& v) { o.descriptorOut = v; return !v.empty(); }},
        {"--descriptor-error", [&](const std::string& v) {
             // Any 32-bit pattern: signed decimal, or hexadecimal up to 0xFFFFFFFF.
             if (!ParseInteger(v, INT32_MIN, UINT32_MAX, number) || number == 0) return false;
             o.descriptorError = static_cast<int32_t>(static_cast<uint32_t>(number));
             return true;
         }},
        {"--abort-after", [&](const std::string& v) { return ParseInteger(v, 0, INT64_MAX, number) && (o.abortAfter = number, true); }},
        {"--budget", [&](const std::string& v) { return ParseInteger(v, 0, INT64_MAX, number) && (o.budget = number, true); }},
        {"--tile", [&](const std::string& v) {
             return ParseInteger(v, 1, 30000, number) && (o.tile = static_cast<int32_t>(number), true);
         }},
        {"--filter-case", [&](const std::string& v) {
             return ParseInteger(v, -1, 7, number) && (o.filterCase = static_cast<int16_t>(number), true);
         }},
        {"--selection", [&](const std::string& v) {
             PixelRect rect;
             return ParseSelection(v, rect) && (o.selection = rect, true);
         }},
        {"--layer-below", [&](const std::string& v) {
             LayerSpec layer;
             return ParsePixelSource(v, layer.colour) && (o.layersBelow.push_back(layer), true);
         }},
        {"--layer-above", [&](const std::string& v) {
             LayerSpec layer;
             return ParsePixelSource(v, layer.colour) && (o.layersAbove.push_back(layer), true);
         }},
        {"--transparency", [&](const std::string& v) {
             PixelSource source;
             return ParsePixelSource(v, source) && (o.transparency = source, true);
         }},
        {"--alpha", [&](const std::string& v) {
             AlphaChannelSpec channel;
             return ParseAlphaChannel(v, channel) && (o.alphaChannels.push_back(channel), true);
         }},
        {"--selector", [&](const std::string& v) {
             return ParseInteger(v, INT16_MIN, INT16_MAX, number) && (o.rawSelector = static_cast<int16_t>(number), true);
         }},
        {"--log", [&](const std::string& v) { o.logPath = v; return !v.empty(); }},
        {"--ui", [&](const std::string& v) { return ParseUiScript(v, o.uiSteps, uiError); }},
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (const auto flag = flags.find(argument); flag != flags.end()) {
            flag->second();
        } else if (const auto option = valued.find(argument); option != valued.end()) {
            if (i + 1 == arguments.size()) {
                error = argument + " needs a value";
                return false;
            }
            if (!option->second(arguments[++i])) {
                error = uiError.empty() ? "bad value for " + argument + ": " + arguments[i] : argument + " " + uiError;
                return false;
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option " + argument;
            return false;
        } else {
            positional.push_back(argument);
        }
    }
    if (helpRequested) return true;
    if (o.pluginPath.empty()) {
        error = "--plugin is missing";
        return false;
    }
    const bool needsImage = !o.about && !o.rawSelector;
    if (needsImage ? positional.size() != 2 : positional.size() > 2) {
        error = needsImage ? "an input and an output image are needed" : "too many arguments";
        return false;
    }
    if (positional.size() >= 1) o.inputPath = positional[0];
    if (positional.size() == 2) o.outputPath = positional[1];
    return true;
}

}  // namespace qvhost
