// What a test run needs of the windows: the progress dialog and the pauses around each call.
#pragma once

#include <cstdint>
#include <string>

class IRunProgress {
public:
    virtual ~IRunProgress() = default;

    // Progress dialog of a test run. Create returns false when no dialog could be made;
    // Cancel in it stores 1 through cancelFlag. SetProgress also processes pending events.
    virtual bool CreateProgress(int* cancelFlag) = 0;
    virtual void SetProgressAnalyzer(const std::string& title, int32_t bitmapID,
                                     const std::string& analyzerName) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void DestroyProgress() = 0;

    virtual void Sleep(unsigned milliseconds) = 0;
};
