// Recording fake of the frame services: every call is kept, waits and the clock are instant.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "document/FrameServices.h"

class FakeFrame : public IFrameServices {
public:
    void SetStatusText(const std::string& text) override { status.push_back(text); }
    void ShowListing(bool on) override { listing.push_back(on); }
    void LogLine(const std::string& text) override { log.push_back(text); }
    void ShowLog() override { ++showLogCount; }
    int MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons) override {
        boxes.push_back({text, caption, icon});
        return boxAnswer;
    }
    void BeginWaitCursor() override { ++waitDepth; }
    void EndWaitCursor() override { --waitDepth; }
    void ProcessEvents() override {
        ++eventsProcessed;
        if (onProcessEvents) onProcessEvents();
    }
    std::vector<std::string> OpenFileDialog(const FileDialogRequest& request,
                                            unsigned& errorCode) override {
        openRequests.push_back(request);
        errorCode = openError;
        return openAnswer;
    }
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override {
        saveRequests.push_back(request);
        if (onSaveDialog) onSaveDialog();
        return saveAnswer;
    }
    bool CreateProgress(int* cancelFlag) override {
        ++progressCreated;
        progressCancel = cancelFlag;
        progressOpen = canCreateProgress;
        return canCreateProgress;
    }
    void SetProgressAnalyzer(const std::string& title, int32_t bitmapID,
                             const std::string&) override {
        progressAnalyzers.push_back(title);
        lastBitmap = bitmapID;
    }
    void SetProgress(int position) override {
        progress.push_back(position);
        if (onSetProgress) onSetProgress(position);
        ProcessEvents();
    }
    void DestroyProgress() override {
        ++progressDestroyed;
        progressOpen = false;
        progressCancel = nullptr;
    }
    void Sleep(unsigned milliseconds) override {
        sleeps.push_back(milliseconds);
        clock += milliseconds / 1000;
    }
    uint32_t Now() override { return clock; }

    // Test helpers.
    bool LogContains(const std::string& text) const {
        for (const auto& l : log)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    struct Box {
        std::string text, caption;
        MsgIcon icon;
    };
    std::vector<std::string> status;
    std::vector<bool> listing;
    std::vector<std::string> log;
    int showLogCount = 0;
    std::vector<Box> boxes;
    int boxAnswer = IDOK;
    int waitDepth = 0;
    int eventsProcessed = 0;
    std::vector<FileDialogRequest> openRequests;
    std::vector<std::string> openAnswer;
    unsigned openError = 0;
    std::vector<FileDialogRequest> saveRequests;
    std::optional<std::string> saveAnswer;
    bool canCreateProgress = true;
    int progressCreated = 0, progressDestroyed = 0;
    bool progressOpen = false;
    int* progressCancel = nullptr;
    std::vector<std::string> progressAnalyzers;
    int32_t lastBitmap = 0;
    std::vector<int> progress;
    std::vector<unsigned> sleeps;
    uint32_t clock = 0x5A5A5A5Au;
    std::function<void()> onProcessEvents;
    std::function<void(int)> onSetProgress;
    std::function<void()> onSaveDialog;  // runs while the save dialog is "open"
};
