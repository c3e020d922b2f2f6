// The log display: a tool window with a read-only text view, every line also appended to
// a log file. Reached through the six calls the frame makes.
#pragma once

#include <QEvent>
#include <QString>
#include <QWidget>
#include <cstdint>

class QPlainTextEdit;

// The notification a log display sends its owner: a QEvent of type User + message.
class CLogNotifyEvent : public QEvent {
public:
    explicit CLogNotifyEvent(uint32_t message)
        : QEvent(static_cast<QEvent::Type>(QEvent::User + static_cast<int>(message))),
          m_message(message) {}
    static QEvent::Type TypeFor(uint32_t message) {
        return static_cast<QEvent::Type>(QEvent::User + static_cast<int>(message));
    }
    uint32_t m_message;
};

class CLogWindow : public QWidget {
    Q_OBJECT
public:
    CLogWindow(const QString& title, QWidget* owner, uint32_t notifyMessage);

    void SetLogFile(const QString& path) { m_file = path; }
    // Appends one line to the view and, byte for byte, to the file.
    void Display(const QByteArray& line);
    QPlainTextEdit* View() const { return m_view; }
    QStringList Lines() const;
    void ScrollToNewest();

    // Geometry kept between runs; a window never placed has nothing worth keeping.
    bool RestorePlacement(const QByteArray& geometry);
    bool IsPlaced() const { return m_placed; }

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    QPlainTextEdit* m_view;
    QWidget* m_owner;
    uint32_t m_message;
    QString m_file;
    bool m_placed = false;
};

// The six calls. Handles are small integers; 0 means failure or no log.
void zLogDspInit();
uint32_t zLogDspCreate(const char* title, int reserved, QWidget* owner, uint32_t style,
                       uint32_t notifyMessage, int shown);
void zldSetLogFile(uint32_t handle, const char* path);
void zldDisplay(uint32_t handle, const char* text);
void zldShowDisplay(uint32_t handle, int show);
void zLogDspClose(uint32_t handle);
// The window behind a handle (tests, screenshots); null when the handle names none.
CLogWindow* zldWindow(uint32_t handle);
