// Tavix CallerID tests: the logo, the lamps and the application icon.
#include "TempDir.h"

#include "ui/Artwork.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

bool transparentCorners(const QImage& image)
{
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    for (QPoint corner :
         {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)}) {
        if (qAlpha(image.pixel(corner)) != 0)
            return false;
    }
    return true;
}

TEST(Artwork, LampsAreRoundWithTransparentCornersGreyOrGreen)
{
    const QImage unlit = Artwork::lamp(false).toImage();
    const QImage lit = Artwork::lamp(true).toImage();

    for (const QImage* lamp : {&unlit, &lit}) {
        EXPECT_EQ(lamp->size(), QSize(30, 31));
        EXPECT_TRUE(lamp->hasAlphaChannel());
        EXPECT_TRUE(transparentCorners(*lamp));
        EXPECT_EQ(qAlpha(lamp->pixel(15, 20)), 255);
    }
    const QColor grey = unlit.pixelColor(15, 20);
    const QColor green = lit.pixelColor(15, 20);
    EXPECT_LT(std::abs(grey.red() - grey.green()), 10);
    EXPECT_LT(std::abs(grey.green() - grey.blue()), 10);
    EXPECT_GT(green.green(), green.red() + 60);
    EXPECT_GT(green.green(), green.blue() + 60);
}

TEST(Artwork, LogoHasItsSizeAndATransparentBackground)
{
    const QImage logo = Artwork::logo().toImage();

    EXPECT_EQ(logo.size(), QSize(165, 60));
    EXPECT_TRUE(transparentCorners(logo));
    int opaque = 0;
    for (int y = 0; y < logo.height(); ++y) {
        for (int x = 0; x < logo.width(); ++x)
            opaque += qAlpha(logo.pixel(x, y)) == 255;
    }
    EXPECT_GT(opaque, logo.width() * logo.height() / 10);
}

class ShippedIcon : public ::testing::TestWithParam<int>
{
};

TEST_P(ShippedIcon, IsInShareAtItsSizeWithTransparentCorners)
{
    const int size = GetParam();
    const std::string file = std::string(TAVIX_SOURCE_DIR) + "/share/icons/hicolor/" +
                             std::to_string(size) + "x" + std::to_string(size) +
                             "/apps/tavix-callerid.png";
    QImage shipped;
    ASSERT_TRUE(shipped.load(QString::fromStdString(file))) << file;

    EXPECT_EQ(shipped.size(), QSize(size, size));
    EXPECT_TRUE(transparentCorners(shipped));
    EXPECT_EQ(qAlpha(shipped.pixel(size / 2, size / 2)), 255);
    EXPECT_EQ(Artwork::applicationIconImage(size).size(), shipped.size());
}

INSTANTIATE_TEST_SUITE_P(EverySize, ShippedIcon, ::testing::ValuesIn(Artwork::kIconSizes));

} // namespace
