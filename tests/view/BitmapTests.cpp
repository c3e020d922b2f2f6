// The program's bitmaps at both sizes: the doubled ones take the same room on a screen of
// device pixel ratio 2, and the icon strips keep their transparent mask there too.
#include <QApplication>
#include <QImage>

#include "app/StartupCover.h"
#include "panes/Bitmaps.h"
#include "panes/MyTreeCtrl.h"
#include "tests/view/ViewFixture.h"

TEST(Bitmaps, EveryProgramBitmapComesAtTwiceTheSizeForRatioTwo) {
    const std::pair<unsigned, QSize> bitmaps[] = {
        {130, QSize(300, 96)}, {144, QSize(112, 16)}, {146, QSize(32, 16)}, {166, QSize(156, 84)}};
    for (const auto& [id, size] : bitmaps) {
        SCOPED_TRACE(id);
        const QPixmap normal = LoadKQBitmap(id, std::string(), 1);
        const QPixmap doubled = LoadKQBitmap(id, std::string(), 2);
        EXPECT_EQ(normal.size(), size);
        EXPECT_EQ(normal.devicePixelRatio(), 1.0);
        EXPECT_EQ(doubled.size(), size * 2);
        EXPECT_EQ(doubled.devicePixelRatio(), 2.0);
        EXPECT_EQ(doubled.deviceIndependentSize().toSize(), size);
        // Drawn again, not scaled up: the doubled picture is not the normal one enlarged.
        const QImage enlarged =
            normal.toImage()
                .convertToFormat(QImage::Format_RGB32)
                .scaled(size * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        EXPECT_NE(doubled.toImage().convertToFormat(QImage::Format_RGB32), enlarged);
    }
    // A ratio between 1 and 2 still takes the sharper picture; an unknown id stays null.
    EXPECT_EQ(LoadKQBitmap(130, std::string(), 1.5).devicePixelRatio(), 2.0);
    EXPECT_TRUE(LoadKQBitmap(9999, std::string(), 2).isNull());
}

TEST(Bitmaps, DoubledIconStripKeepsItsMaskAndItsSixteenPixelImages) {
    const QPixmap strip = LoadKQBitmapMasked(144, std::string(), 2);
    ASSERT_FALSE(strip.isNull());
    EXPECT_EQ(strip.devicePixelRatio(), 2.0);
    const QImage image = strip.toImage();
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);  // the mask colour's corner
    bool opaque = false;
    for (int x = 0; x < image.width() && !opaque; ++x)
        for (int y = 0; y < image.height() && !opaque; ++y) opaque = qAlpha(image.pixel(x, y)) != 0;
    EXPECT_TRUE(opaque);
}

// The Database list's row images: a doubled strip gives whole 16-pixel images, the same
// picture as the normal strip's (not a quarter of it).
TEST(Bitmaps, StripsSplitIntoWholeImagesAtEitherRatio) {
    auto inkBox = [](const QPixmap& pixmap) {
        const QImage image = pixmap.toImage();
        QRect box;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) != 0) box |= QRect(x, y, 1, 1);
        return box;
    };
    const std::vector<QPixmap> normal = SplitImageStrip(LoadKQBitmapMasked(146, {}, 1), 2);
    const std::vector<QPixmap> doubled = SplitImageStrip(LoadKQBitmapMasked(146, {}, 2), 2);
    ASSERT_EQ(normal.size(), 2u);
    ASSERT_EQ(doubled.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(normal[i].deviceIndependentSize().toSize(), QSize(16, 16));
        EXPECT_EQ(doubled[i].deviceIndependentSize().toSize(), QSize(16, 16));
        EXPECT_EQ(doubled[i].devicePixelRatio(), 2.0);
        const QRect one = inkBox(normal[i]), two = inkBox(doubled[i]);
        ASSERT_FALSE(one.isEmpty()) << i;
        EXPECT_LE(std::abs(two.left() / 2 - one.left()), 1) << i;
        EXPECT_LE(std::abs(two.right() / 2 - one.right()), 1) << i;
        EXPECT_LE(std::abs(two.bottom() / 2 - one.bottom()), 1) << i;
    }
    EXPECT_TRUE(SplitImageStrip(QPixmap(), 2).empty());
}

TEST(Bitmaps, TreeIconsAndCoverTakeTheSameRoomAtEitherRatio) {
    CAppState app;
    FakeFrame frame;
    CQuillo95Doc doc(app, frame);
    QWidget parent;
    CMyTreeCtrl tree(&doc, nullptr);
    tree.Create(QRect(0, 0, 200, 200), &parent, 22);
    const qreal ratio = qApp->devicePixelRatio();
    for (const QPixmap& icon : tree.Images()) {
        EXPECT_EQ(icon.deviceIndependentSize().toSize(), QSize(16, 16));
        EXPECT_EQ(icon.devicePixelRatio(), ratio > 1 ? 2.0 : 1.0);
    }
    CStartupCover cover(nullptr, QRect(0, 0, 800, 600));
    const int h = cover.TextHeight(), mx = cover.Mx();
    EXPECT_EQ(cover.width(), 300 + 2 * (CStartupCover::kBorder + mx + h + 2 * mx));
}
