// Captures what the automatic alert answers log while it lives (QUORVEL_ALERT_LOG), so that a test
// can check which alerts a step showed and with which texts.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

class AlertLog {
public:
    explicit AlertLog(const char* answer = "1") {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        wchar_t file[MAX_PATH];
        GetTempFileNameW(folder, L"qva", 0, file);
        path_ = file;
        char narrow[MAX_PATH * 3];
        WideCharToMultiByte(CP_UTF8, 0, file, -1, narrow, sizeof narrow, nullptr, nullptr);
        _putenv_s("QUORVEL_ALERT_LOG", narrow);
        _putenv_s("QUORVEL_ALERT_ANSWER", answer);
    }
    ~AlertLog() {
        _putenv_s("QUORVEL_ALERT_LOG", "");
        _putenv_s("QUORVEL_ALERT_ANSWER", "1");
        DeleteFileW(path_.c_str());
    }
    AlertLog(const AlertLog&) = delete;
    AlertLog& operator=(const AlertLog&) = delete;

    // Every line logged so far: "alert <id> answered <button>: <texts>".
    std::string Text() const {
        std::string text;
        if (FILE* in = _wfopen(path_.c_str(), L"rb")) {
            char chunk[512];
            for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;) text.append(chunk, n);
            std::fclose(in);
        }
        return text;
    }

private:
    std::wstring path_;
};
