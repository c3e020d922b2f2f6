#include "app/TestProgressDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "panes/Bitmaps.h"
#include "resources/Strings.h"

void CPictureCtrl::SetBitmap(const QPixmap& bitmap) {
    m_bitmap = bitmap;
    update();
}

void CPictureCtrl::paintEvent(QPaintEvent*) {
    if (m_bitmap.isNull()) return;
    QPainter p(this);
    p.drawPixmap(0, 0, m_bitmap);
}

CTestProgressDlg::CTestProgressDlg(QWidget* owner)
    // A caption only: no system menu, no close, minimise or maximise buttons.
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_picture(new CPictureCtrl(this)),
      m_title(new QLabel(this)),
      m_bar(new QProgressBar(this)),
      m_cancelButton(new QPushButton(QString::fromStdString(LoadKQString(IDS_CANCEL)), this)) {
    setObjectName(QStringLiteral("dialog133"));
    setModal(false);
    setWindowTitle(QString::fromStdString(LoadKQString(IDS_PROGRESS_TITLE)));
    m_picture->setObjectName(QStringLiteral("1006"));
    m_title->setObjectName(QStringLiteral("1001"));
    m_bar->setObjectName(QStringLiteral("1000"));
    m_cancelButton->setObjectName(QStringLiteral("1002"));

    setWindowFlag(Qt::WindowMinMaxButtonsHint, false);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    setWindowFlag(Qt::WindowSystemMenuHint, false);
    m_cancelButton->setAccessibleName(m_cancelButton->text());
    m_bar->setAccessibleName(windowTitle());

    // The caption must be readable in full: the dialog grows to it, the controls stay centred.
    const QSize units = DialogRect(0, 0, 120, 63).size();
    const int width = std::max(units.width(), CaptionWidth());
    const QPoint shift((width - units.width()) / 2, 0);
    m_picture->setGeometry(DialogRect(4, 4, 20, 20).translated(shift));
    m_title->setGeometry(DialogRect(32, 8, 84, 8).translated(shift));
    m_bar->setGeometry(DialogRect(4, 28, 112, 14).translated(shift));
    m_cancelButton->setGeometry(DialogRect(44, 48, 32, 12).translated(shift));
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_title->setTextFormat(Qt::PlainText);
    setFixedSize(width, units.height());
    connect(m_cancelButton, &QPushButton::clicked, this, &CTestProgressDlg::OnCancel);
    CentreOnOwner();
}

QRect CTestProgressDlg::DialogRect(int x, int y, int cx, int cy) const {
    // Dialog base units: the average width of the alphabet and the height of the font.
    const QFontMetrics fm(font());
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = (fm.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const int baseY = fm.height();
    return QRect(x * baseX / 4, y * baseY / 8, cx * baseX / 4, cy * baseY / 8);
}

int CTestProgressDlg::CaptionWidth() const {
    // The caption's text in the title bar's font, plus room for the window icon and the
    // buttons a window manager puts there anyway.
    const QFontMetrics fm(QFontDatabase::systemFont(QFontDatabase::TitleFont));
    return fm.horizontalAdvance(windowTitle()) + 5 * fm.height();
}

void CTestProgressDlg::CentreOnOwner() {
    QRect area;
    if (QWidget* owner = parentWidget(); owner && owner->isVisible())
        area = owner->frameGeometry();
    else if (QScreen* s = screen())
        area = s->availableGeometry();
    if (!area.isValid()) return;
    move(area.center() - QPoint(width() / 2, height() / 2));
}

QPixmap CTestProgressDlg::LoadBitmap(int32_t bitmapID, const std::string& analyzerName) {
    return bitmapID > 0 ? LoadKQBitmap(unsigned(bitmapID), analyzerName) : QPixmap();
}

void CTestProgressDlg::SetAnalyzer(const std::string& title, int32_t bitmapID,
                                   const std::string& analyzerName) {
    m_title->setText(QString::fromStdString(title));
    m_picture->SetBitmap(LoadBitmap(bitmapID, analyzerName));
    m_picture->repaint();
}

void CTestProgressDlg::SetProgress(int position) {
    m_bar->setValue(position < 0 ? 0 : position > 100 ? 100 : position);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CTestProgressDlg::OnCancel() {
    // The dialog stays open; the run notices the flag between analyzers.
    if (m_cancel) *m_cancel = 1;
}

void CTestProgressDlg::closeEvent(QCloseEvent* e) {
    // Closing the window asks for the same as Cancel; the run destroys it when it returns.
    OnCancel();
    e->ignore();
}

void CTestProgressDlg::reject() { OnCancel(); }
