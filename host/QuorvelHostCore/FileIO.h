// Files by UTF-8 path.
//
// Output files are replaced whole or not at all: their bytes go to a new temporary file beside
// the final name, which takes that name only once everything is written and on the disk. A full
// disk, a folder that goes away or a failing encoder then leaves the user's earlier file as it was
// and no partial file behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qvhost {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// The owner of a Win32 file handle (a HANDLE; never INVALID_HANDLE_VALUE: the creator stores null
// instead). The header stays free of windows.h, whose "boolean" collides with libjpeg's.
struct FileHandleCloser {
    void operator()(void* file) const;
};
using UniqueFileHandle = std::unique_ptr<void, FileHandleCloser>;

UniqueFile OpenFile(const std::string& utf8Path, const wchar_t* mode);
// Reads a whole file of at most maxBytes; false when it cannot be read or is larger.
bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& bytes, int64_t maxBytes = int64_t{1} << 30);

// Where the bytes of an output go while it is written.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    // False when not all of the bytes could be written.
    virtual bool Write(const void* bytes, size_t count) = 0;
};

// Produces one output into the sink; false with the reason in error when it fails.
using OutputWriter = std::function<bool(OutputSink& sink, std::string& error)>;

// Writes the file at utf8Path through write, by way of a temporary file beside it that replaces
// the file (MoveFileExW with MOVEFILE_REPLACE_EXISTING) once it is complete and flushed. On any
// failure the temporary file is removed, a file that was at utf8Path is untouched, and error
// names the file and the reason.
bool WriteOutputFile(const std::string& utf8Path, const OutputWriter& write, std::string& error);
bool WriteWholeFile(const std::string& utf8Path, std::span<const uint8_t> bytes, std::string& error);
bool WriteWholeFile(const std::string& utf8Path, std::span<const uint8_t> bytes);

// Checks, before the work whose result goes there, that an output can be written at utf8Path:
// its folder exists, a new file can be created in it, and no folder or read-only file holds the
// name. False with a message naming the file in error.
bool CheckOutputPath(const std::string& utf8Path, std::string& error);

// The system's text for a Win32 error code, in UTF-8 without a trailing line break.
std::string SystemErrorText(unsigned long code);

}  // namespace qvhost
