#include "FileIO.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "TextConversion.h"

namespace qvhost {
namespace {

// Bytes gathered before one WriteFile: libpng hands its output over a few bytes at a time.
constexpr size_t kWriteBufferBytes = size_t{1} << 16;
// Names tried for a temporary file before giving up; another run may hold the one tried.
constexpr int kTemporaryNameAttempts = 100;

std::atomic<unsigned> gTemporaryCounter{0};

// A name beside the file that no other output of this or another run picks: the file's own name
// with the process id and a counter. Being in the same folder, it can be renamed over the file.
std::wstring TemporaryNameBeside(const std::wstring& path) {
    return path + L".~qvh" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++gTemporaryCounter) +
           L".tmp";
}

// Creates a new file beside path under a temporary name; null with the system's error code in
// failure when no file can be created there.
UniqueFileHandle CreateFileBeside(const std::wstring& path, DWORD flags, std::wstring& createdPath, DWORD& failure) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        createdPath = TemporaryNameBeside(path);
        HANDLE file = CreateFileW(createdPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr);
        if (file != INVALID_HANDLE_VALUE) return UniqueFileHandle(file);
        failure = GetLastError();
        if (failure != ERROR_FILE_EXISTS && failure != ERROR_ALREADY_EXISTS) break;
    }
    createdPath.clear();
    return nullptr;
}

std::string CannotWrite(const std::string& utf8Path, const std::string& reason) {
    return "cannot write " + utf8Path + ": " + reason;
}

std::string CreationFailure(const std::string& utf8Path, DWORD failure) {
    if (failure == ERROR_PATH_NOT_FOUND || failure == ERROR_DIRECTORY)
        return CannotWrite(utf8Path, "its folder does not exist");
    return CannotWrite(utf8Path, "no file can be created in its folder (" + SystemErrorText(failure) + ")");
}

// The temporary file an output is written to. It is removed when destroyed unless it has taken
// the final name, so that no way out of a write leaves it behind.
class TemporaryOutput final : public OutputSink {
public:
    TemporaryOutput(std::wstring path, UniqueFileHandle file) : path_(std::move(path)), file_(std::move(file)) {
        buffer_.reserve(kWriteBufferBytes);
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
    ~TemporaryOutput() override {
        file_.reset();
        if (!placed_) DeleteFileW(path_.c_str());
    }

    bool Write(const void* bytes, size_t count) override {
        const auto* in = static_cast<const uint8_t*>(bytes);
        while (failure_ == 0 && count > 0) {
            if (buffer_.size() == kWriteBufferBytes && !Drain()) break;
            const size_t take = std::min(count, kWriteBufferBytes - buffer_.size());
            buffer_.insert(buffer_.end(), in, in + take);
            in += take;
            count -= take;
        }
        return failure_ == 0;
    }

    // Writes what is still buffered, puts the file on the disk and closes it: only then may it
    // replace the user's file.
    bool Finish() {
        if (failure_ != 0 || !Drain()) return false;
        if (!FlushFileBuffers(file_.get())) return Fail(GetLastError());
        file_.reset();
        return true;
    }

    // Gives the finished file the final name, replacing a file of that name.
    bool MoveTo(const std::wstring& finalPath) {
        if (!MoveFileExW(path_.c_str(), finalPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return Fail(GetLastError());
        placed_ = true;
        return true;
    }

    // The system's error code of the first failed step, or 0.
    DWORD Failure() const { return failure_; }

private:
    bool Fail(DWORD code) {
        failure_ = code != 0 ? code : ERROR_WRITE_FAULT;
        return false;
    }

    bool Drain() {
        for (size_t done = 0; done < buffer_.size();) {
            DWORD written = 0;
            // The buffer never holds more than fits a DWORD.
            const DWORD chunk = static_cast<DWORD>(buffer_.size() - done);
            if (!WriteFile(file_.get(), buffer_.data() + done, chunk, &written, nullptr)) return Fail(GetLastError());
            if (written == 0) return Fail(ERROR_DISK_FULL);
            done += written;
        }
        buffer_.clear();
        return true;
    }

    std::wstring path_;
    UniqueFileHandle file_;
    std::vector<uint8_t> buffer_;
    DWORD failure_ = 0;
    bool placed_ = false;
};

}  // namespace

void FileHandleCloser::operator()(void* file) const { CloseHandle(file); }

UniqueFile OpenFile(const std::string& utf8Path, const wchar_t* mode) {
    return UniqueFile(_wfopen(Widen(utf8Path).c_str(), mode));
}

bool ReadWholeFile(const std::string& utf8Path, std::vector<uint8_t>& bytes, int64_t maxBytes) {
    UniqueFile file = OpenFile(utf8Path, L"rb");
    if (!file || _fseeki64(file.get(), 0, SEEK_END) != 0) return false;
    const int64_t size = _ftelli64(file.get());
    if (size < 0 || size > maxBytes || _fseeki64(file.get(), 0, SEEK_SET) != 0) return false;
    bytes.resize(static_cast<size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

bool WriteOutputFile(const std::string& utf8Path, const OutputWriter& write, std::string& error) {
    const std::wstring path = Widen(utf8Path);
    std::wstring temporaryPath;
    DWORD failure = 0;
    UniqueFileHandle file = CreateFileBeside(path, FILE_ATTRIBUTE_NORMAL, temporaryPath, failure);
    if (!file) {
        error = CreationFailure(utf8Path, failure);
        return false;
    }
    TemporaryOutput output(std::move(temporaryPath), std::move(file));
    std::string reason;
    const bool written = write(output, reason);
    // When the file itself refused the bytes, the system's reason (a full disk) says more than
    // the encoder's.
    if (output.Failure() != 0) reason = SystemErrorText(output.Failure());
    if (!written) {
        error = CannotWrite(utf8Path, reason.empty() ? "the output could not be made" : reason);
        return false;
    }
    if (!output.Finish()) {
        error = CannotWrite(utf8Path, SystemErrorText(output.Failure()));
        return false;
    }
    if (!output.MoveTo(path)) {
        error = CannotWrite(utf8Path, "the finished file could not replace it (" + SystemErrorText(output.Failure()) + ")");
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& utf8Path, std::span<const uint8_t> bytes, std::string& error) {
    return WriteOutputFile(
        utf8Path,
        [bytes](OutputSink& sink, std::string& reason) {
            if (sink.Write(bytes.data(), bytes.size())) return true;
            reason = "the bytes could not be written";
            return false;
        },
        error);
}

bool WriteWholeFile(const std::string& utf8Path, std::span<const uint8_t> bytes) {
    std::string ignored;
    return WriteWholeFile(utf8Path, bytes, ignored);
}

bool CheckOutputPath(const std::string& utf8Path, std::string& error) {
    const std::wstring path = Widen(utf8Path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = CannotWrite(utf8Path, "a folder has that name");
        return false;
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        error = CannotWrite(utf8Path, "the file is read-only");
        return false;
    }
    // The write makes the same kind of file beside it; this one goes when its handle closes.
    std::wstring probePath;
    DWORD failure = 0;
    if (!CreateFileBeside(path, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, probePath, failure)) {
        error = CreationFailure(utf8Path, failure);
        return false;
    }
    return true;
}

std::string SystemErrorText(unsigned long code) {
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                        text, static_cast<DWORD>(std::size(text)), nullptr);
    std::wstring message(text, length);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ' ||
                                message.back() == L'.'))
        message.pop_back();
    if (message.empty()) return "system error " + std::to_string(code);
    return Narrow(message);
}

}  // namespace qvhost
