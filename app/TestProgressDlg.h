// Dialog 133: the modeless progress window of a test run, with the running analyzer's
// picture and title, a progress bar and Cancel.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QWidget>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

// Owns one bitmap and paints it at its top-left corner.
class CPictureCtrl : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    void SetBitmap(const QPixmap& bitmap);  // replaces (and drops) the previous one
    const QPixmap& Bitmap() const { return m_bitmap; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QPixmap m_bitmap;
};

class CTestProgressDlg : public QDialog {
    Q_OBJECT
public:
    enum {
        IDD = 133,
        IDC_PROGRESS = 1000,
        IDC_TITLE = 1001,
        IDC_CANCEL = 1002,
        IDC_PICTURE = 1006
    };

    explicit CTestProgressDlg(QWidget* owner);

    void SetCancelFlag(int* cancel) { m_cancel = cancel; }
    // Title into control 1001, the bitmap from the resource chain into the picture control.
    void SetAnalyzer(const std::string& title, int32_t bitmapID, const std::string& analyzerName);
    // Sets the bar, then processes every pending event.
    void SetProgress(int position);
    void OnCancel();
    // Escape asks for the same as Cancel.
    void reject() override;

    // A module's own bitmap first, then the program's; a null pixmap when neither has it.
    static QPixmap LoadBitmap(int32_t bitmapID, const std::string& analyzerName);
    // Dialog units to pixels with this dialog's font.
    QRect DialogRect(int x, int y, int cx, int cy) const;
    // Width the title bar needs to show the whole caption.
    int CaptionWidth() const;

    QLabel* TitleCtrl() const { return m_title; }
    QProgressBar* ProgressCtrl() const { return m_bar; }
    QPushButton* CancelCtrl() const { return m_cancelButton; }
    CPictureCtrl* PictureCtrl() const { return m_picture; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void CentreOnOwner();

    CPictureCtrl* m_picture;
    QLabel* m_title;
    QProgressBar* m_bar;
    QPushButton* m_cancelButton;
    int* m_cancel = nullptr;
};
