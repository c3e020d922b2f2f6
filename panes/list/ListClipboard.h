// A list copied to the clipboard as tab-separated text, one "\r\n"-ended line per row.
#pragma once

#include <QString>

class ITableText;
class IFrameServices;

// The clipboard as copying sees it; tests replace the system's.
class ITextClipboard {
public:
    virtual ~ITextClipboard() = default;
    virtual bool IsAvailable() const = 0;
    virtual void Clear() = 0;
    virtual void SetText(const QString& text) = 0;
    virtual QString Text() const = 0;
};

// QGuiApplication's clipboard (unavailable when there is none).
ITextClipboard& SystemClipboard();

// The window-text line when not empty, the header line, then every row (selected rows only
// when asked). Throws std::bad_alloc when memory runs out.
QString ClipboardText(const ITableText& list, bool selectedOnly);

enum class CopyResult { Copied, ClipboardInUse, OutOfMemory };

// Copies and reports a failure with the program's message (52 no clipboard to use, 9 out of
// memory); an out-of-memory copy leaves the clipboard empty.
CopyResult CopyToClipboard(const ITableText& list, bool selectedOnly, ITextClipboard& clipboard,
                           IFrameServices& frame);
