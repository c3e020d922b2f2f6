#include "panes/list/ListClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <new>

#include "document/FrameServices.h"
#include "panes/list/TableText.h"
#include "resources/Strings.h"

namespace {

constexpr int kCopiedChars = 1000;

class CSystemClipboard : public ITextClipboard {
public:
    bool IsAvailable() const override { return Board() != nullptr; }
    void Clear() override {
        if (QClipboard* board = Board()) board->clear();
    }
    void SetText(const QString& text) override {
        if (QClipboard* board = Board()) board->setText(text);
    }
    QString Text() const override {
        QClipboard* board = Board();
        return board ? board->text() : QString();
    }

private:
    static QClipboard* Board() {
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                   ? QGuiApplication::clipboard()
                   : nullptr;
    }
};

// Cells joined by tabs, empty ones included, so that every value pastes under its header
// (a row whose first cells are empty starts with tabs). A row with no text at all (a filler
// row) is an empty line.
void AppendLine(QString& text, const ITableText& list, int row) {
    QString line;
    bool any = false;
    for (int c = 0; c < list.ColumnCount(); ++c) {
        const QString cell =
            (row < 0 ? list.HeaderText(c) : list.CellText(row, c)).left(kCopiedChars);
        if (c > 0) line += QLatin1Char('\t');
        line += cell;
        any = any || !cell.isEmpty();
    }
    if (any) text += line;
    text += QLatin1String("\r\n");
}

void Message(IFrameServices& frame, KQStringId id) {
    frame.MessageBox(LoadKQString(id), LoadKQString(IDS_APP_TITLE), MsgIcon::Information,
                     MsgButtons::Ok);
}

}  // namespace

ITextClipboard& SystemClipboard() {
    static CSystemClipboard clipboard;
    return clipboard;
}

QString ClipboardText(const ITableText& list, bool selectedOnly) {
    QString text;
    const QString caption = list.WindowText();
    if (!caption.isEmpty()) text += caption + QLatin1String("\r\n");
    AppendLine(text, list, -1);
    const int rows = list.RowCount();
    for (int r = 0; r < rows; ++r)
        if (!selectedOnly || list.IsRowSelected(r)) AppendLine(text, list, r);
    return text;
}

CopyResult CopyToClipboard(const ITableText& list, bool selectedOnly, ITextClipboard& clipboard,
                           IFrameServices& frame) {
    if (!clipboard.IsAvailable()) {
        Message(frame, IDS_CLIPBOARD_IN_USE);
        return CopyResult::ClipboardInUse;
    }
    clipboard.Clear();
    QString text;
    try {
        text = ClipboardText(list, selectedOnly);
    } catch (const std::bad_alloc&) {
        Message(frame, IDS_ERR_NOT_ENOUGH_MEMORY);
        return CopyResult::OutOfMemory;
    }
    clipboard.SetText(text);
    // Another program may own the clipboard: only text that reads back was copied.
    if (clipboard.Text() != text) {
        Message(frame, IDS_CLIPBOARD_IN_USE);
        return CopyResult::ClipboardInUse;
    }
    return CopyResult::Copied;
}
