// Brings the presets library in line with the presets folder a short step at a time, so that the
// work can run in the host's idle time: preset files new to the library or changed since their
// row was written are imported, rows whose file is gone are removed.
//
// The steps: list the presets folder, gather the candidate files, import one candidate per step,
// let the lists go, reselect every row, check one row per step, let the progress display go, done.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PresetsDatabaseHelper.h"

class PresetsDatabaseBuilder {
public:
    enum State : int32_t {
        kListFiles = 0,
        kGatherCandidates = 1,
        kImport = 2,
        kReleaseLists = 3,
        kSelectRecords = 4,
        kCheck = 5,
        kCloseProgress = 6,
        kFinished = 7,
    };

    // How often the work of a step may fail in a row before the builder passes over it (the file
    // or row at hand, or the whole step): a database that keeps failing must not hold the idle
    // loop, nor the browser that runs the builder to its end, for ever.
    static constexpr int kStepAttempts = 3;

    // presetsFolder: the folder the library mirrors; none means the user's own presets folder.
    PresetsDatabaseBuilder(QVDatabase* database, const char* table,
                           std::optional<std::string> presetsFolder = std::nullopt);
    virtual ~PresetsDatabaseBuilder();
    PresetsDatabaseBuilder(const PresetsDatabaseBuilder&) = delete;
    PresetsDatabaseBuilder& operator=(const PresetsDatabaseBuilder&) = delete;

    // Does the work of the current state and moves on. Never raises: work that fails stays to be
    // done again at the next call, at most kStepAttempts times in a row.
    void Step() noexcept;
    // Steps until the builder is finished.
    void RunToEnd() noexcept;

    int32_t GetState() const { return state_; }
    bool Finished() const { return state_ == kFinished; }

    // The progress display (owned; null for none) and whether steps report to it.
    void SetProgress(std::unique_ptr<DatabaseProgress> progress) { progress_ = std::move(progress); }
    DatabaseProgress* Progress() const { return progress_.get(); }
    void SetShowProgress(bool show) { showProgress_ = show; }

    const std::vector<std::string>& Candidates() const { return candidates_; }
    PresetsDatabaseHelper& Helper() { return helper_; }

private:
    void DoStep();
    // Passes over work that failed kStepAttempts times: the item at hand, or the whole state.
    void GiveUpStep();
    void GatherCandidates();
    void ImportNext();
    void CheckNext();
    // After the work of an import or check step: reports, and ends the run when asked to stop.
    void Report(int32_t total, int32_t position);

    QVDatabaseRecordSet recordSet_;
    PresetsDatabaseHelper helper_;
    QVDatabase* database_;
    int32_t state_ = kListFiles;
    int32_t importPosition_ = -1;
    int32_t checkPosition_ = 0;
    std::vector<FileSpec> fileList_;
    std::vector<std::string> candidates_;
    std::unique_ptr<DatabaseProgress> progress_;
    bool showProgress_ = false;
    int failures_ = 0;
};
