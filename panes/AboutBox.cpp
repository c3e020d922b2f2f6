#include "panes/AboutBox.h"

#include <QLabel>
#include <QFontMetricsF>
#include <cmath>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextOption>

#include "panes/Bitmaps.h"
#include "panes/QtText.h"
#include "resources/Strings.h"

namespace {

// Dialog 101 in pixels: a 360-pixel-wide box, left column and the OK button beside it.
constexpr int kDialogWidth = 360;
constexpr int kMargin = 10;
constexpr int kColumnWidth = 240;
constexpr int kButtonLeft = 270;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 24;
constexpr int kListHeight = 40;  // the edit box's resource height
constexpr int kPlaceholderHeight = 20;

// The window that replaces the picture frame: bitmap 166 at its top-left corner.
class CBitmapWindow : public QWidget {
public:
    CBitmapWindow(const QPixmap& bitmap, QWidget* parent) : QWidget(parent), m_bitmap(bitmap) {}
    const QPixmap& Bitmap() const { return m_bitmap; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawPixmap(0, 0, m_bitmap);
    }

private:
    QPixmap m_bitmap;
};

}  // namespace

int CAboutDlg::ResourceListHeight() { return kListHeight; }

CAboutDlg::CAboutDlg(const std::vector<std::string>& analyzerLines, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("dialog%1").arg(int(IDD)));
    setWindowTitle(KQText(IDS_ABOUT_CAPTION));
    setModal(true);

    auto label = [this](int id, const QString& text, int left, int width, Qt::Alignment align) {
        QLabel* l = new QLabel(text, this);
        l->setObjectName(QStringLiteral("item%1").arg(id));
        l->setAlignment(align | Qt::AlignVCenter);
        l->setGeometry(left, 0, width, QFontMetrics(l->font()).height() + 2);
        return l;
    };
    // The picture frame of the resource; replaced below.
    m_picture = new QWidget(this);
    m_picture->setGeometry(kMargin, kMargin, kPlaceholderHeight, kPlaceholderHeight);
    m_publisher =
        label(IDC_PUBLISHER, KQText(IDS_REG_COMPANY), kMargin, kColumnWidth, Qt::AlignLeft);
    m_title = label(IDC_TITLE, KQText(IDS_ABOUT_PRODUCT), kMargin, kColumnWidth, Qt::AlignLeft);
    m_version = label(IDC_VERSION, QString(), kMargin, kColumnWidth, Qt::AlignLeft);
    m_ok = new QPushButton(KQText(IDS_OK), this);
    m_ok->setObjectName(QStringLiteral("item1"));
    m_ok->setDefault(true);
    m_ok->setGeometry(kButtonLeft, 0, kButtonWidth, kButtonHeight);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    const int fullWidth = kDialogWidth - 2 * kMargin;
    m_notice1 = label(IDC_NOTICE1, KQText(IDS_ABOUT_COPYRIGHT), kMargin, fullWidth, Qt::AlignLeft);
    m_notice2 =
        label(IDC_NOTICE2, KQText(IDS_ABOUT_MODULES_NOTE), kMargin, fullWidth, Qt::AlignLeft);
    m_analyzersLabel = label(IDC_ANALYZERS_LABEL, KQText(IDS_ABOUT_ANALYZERS), kMargin, fullWidth,
                             Qt::AlignHCenter);
    m_list = new QPlainTextEdit(this);
    m_list->setObjectName(QStringLiteral("item%1").arg(int(IDC_ANALYZERS)));
    m_list->setReadOnly(true);
    m_list->setAccessibleName(KQText(IDS_ABOUT_ANALYZERS));
    m_list->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->document()->setDocumentMargin(0);
    QTextOption option = m_list->document()->defaultTextOption();
    option.setAlignment(Qt::AlignHCenter);
    m_list->document()->setDefaultTextOption(option);
    m_list->setGeometry(kMargin, 0, fullWidth, kListHeight);

    OnInitDialog(analyzerLines);
}

QWidget* CAboutDlg::Control(int id) const {
    switch (id) {
        case IDC_PICTURE:
            return m_picture;
        case IDC_PUBLISHER:
            return m_publisher;
        case IDC_TITLE:
            return m_title;
        case IDC_VERSION:
            return m_version;
        case 1:
            return m_ok;
        case IDC_NOTICE1:
            return m_notice1;
        case IDC_NOTICE2:
            return m_notice2;
        case IDC_ANALYZERS_LABEL:
            return m_analyzersLabel;
        case IDC_ANALYZERS:
            return m_list;
        default:
            return nullptr;
    }
}

void CAboutDlg::OnInitDialog(const std::vector<std::string>& analyzerLines) {
    m_version->setText(KQText(IDS_VERSION_LINE));

    const QPixmap bitmap = LoadKQBitmap(IDB_ABOUT);
    const QPoint pictureAt = m_picture->pos();
    delete m_picture;
    m_picture = new CBitmapWindow(bitmap, this);
    m_picture->setObjectName(QStringLiteral("item%1").arg(int(IDC_PICTURE)));
    m_picture->setGeometry(QRect(pictureAt, bitmap.deviceIndependentSize().toSize()));

    // Vertical stacking; every control keeps its horizontal position and size.
    const int h = QFontMetrics(m_publisher->font()).height();
    int y = m_picture->y() + m_picture->height() + h;
    auto place = [&y](QWidget* control) {
        control->move(control->x(), y);
        y += control->height();
    };
    int yRight = y;
    place(m_publisher);
    place(m_title);
    y += h / 2;
    place(m_version);
    std::swap(y, yRight);
    place(m_ok);
    y = std::max(y, yRight);
    place(m_notice1);
    place(m_notice2);
    y += h / 2;
    place(m_analyzersLabel);
    place(m_list);
    int height = y + kMargin;

    if (!analyzerLines.empty()) {
        // Room for every line without scrolling: the text area gets one line per analyzer.
        // Text lines are laid out in fractional pixels: round each line up, or the last
        // of many would not fit.
        const QFontMetricsF metrics(m_list->font());
        const int lineHeight = int(std::ceil(metrics.height() + metrics.leading()));
        // The frame, and one pixel: the text view counts a line that ends on its last pixel
        // as cut.
        const int frame = 2 * m_list->frameWidth() + 1;
        const int newHeight = int(analyzerLines.size()) * lineHeight + frame;
        const int change = newHeight - m_list->height();
        m_list->resize(m_list->width(), newHeight);
        QStringList lines;
        for (const std::string& line : analyzerLines) lines << QString::fromStdString(line);
        m_list->setPlainText(lines.join(QLatin1Char('\n')));
        height += change;
    }
    setFixedSize(kDialogWidth, height);
    if (QWidget* owner = parentWidget()) {
        const QRect frame = owner->window()->geometry();
        move(frame.center() - QPoint(width() / 2, height / 2));
    }
}
