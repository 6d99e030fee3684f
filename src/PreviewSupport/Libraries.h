// The frames and presets libraries that the preview dialog opens for a host call, and the
// library-path setting that places the frames library.
#pragma once

#include <cstdint>
#include <string>

class QVDatabase;
class QVPresetsDatabase;

// Opens whichever library is not open yet: the frames library at the library-path setting (its
// default place when the setting is empty) and the presets library at its default place. An open
// waits a few seconds at most for another process's lock. A library that fails to open stays
// absent and is left as it is; the alert "Could not open the file" names it once in a host call
// (callNumber, HostCall::number), and the call's later opens do not try it again. Nothing is
// raised.
void OpenLibraries(uint32_t callNumber);

// The process-wide libraries, open from the first OpenLibraries on for as long as the plug-in is
// loaded; null while absent (a library that could not be opened is treated as empty).
QVDatabase* FramesLibrary();
QVPresetsDatabase* PresetsLibrary();
// Closes both libraries and forgets their failures; the next OpenLibraries opens them again
// (after the library moved).
void CloseLibraries();

// The library-path setting: the full path of the frames library file, or empty for its default
// place. The preferences set it when they load.
const std::string& LibraryPathSetting();
void SetLibraryPathSetting(std::string path);
