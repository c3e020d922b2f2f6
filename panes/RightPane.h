// The description box with a "Tell Me More" button, used by the Summary and Details panes.
#pragma once

#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <string>

class CWnd;
class QMenu;

class CRightPane : public QWidget {
    Q_OBJECT

public:
    // owner receives the UM_ITEMACTION messages (the view).
    explicit CRightPane(CWnd* owner);
    ~CRightPane() override;

    // Creates the window in rect under parent; with caption the pane shows a title bar.
    // visible: the pane's own style is visible (the button follows it).
    bool Create(const QRect& rect, QWidget* parent, int controlID, bool caption, bool visible);
    void SetText(const std::string& text);
    const std::string& GetText() const { return m_text; }
    void Show(bool show);
    void SetTellMeMoreCode(int code) { m_tellMeMoreCode = code; }
    int TellMeMoreCode() const { return m_tellMeMoreCode; }
    QPushButton* Button() const { return m_button; }
    int ButtonWidth() const { return m_buttonWidth; }
    int ButtonHeight() const { return m_buttonHeight; }
    // The area the text is drawn into: the client area above the button.
    QRect TextRect() const;

    void OnTellMeMore();
    void OnContextMenu(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QRect ClientRect() const;
    void PlaceButton();

    CWnd* m_owner;
    std::string m_text;
    QMenu* m_contextMenu = nullptr;
    QPointer<QPushButton> m_button;
    int m_buttonWidth = 0;
    int m_buttonHeight = 0;
    int m_tellMeMoreCode = 0;
    int m_controlID = 0;
    bool m_caption = false;
};
