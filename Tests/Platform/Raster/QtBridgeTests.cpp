#include "Platform/Raster/ImageFile.h"
#include "Platform/Raster/QtBridge.h"
#include "RasterTestSupport.h"
#include "Support/TestOutput.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

namespace vi::raster {
namespace {

using test::makeImage;
using test::opaque;

TEST(RasterQtBridge, PainterDrawsIntoTheRastersOwnMemory) {
    Bitmap bitmap(20, 10, {50, 60});
    QImage target = paintableImage(bitmap);
    ASSERT_EQ(target.constBits(), bitmap.bits());
    {
        QPainter painter(&target);
        painter.fillRect(QRect(2, 3, 4, 5), QColor(255, 0, 0, 128)); // half-transparent red
    }
    target = QImage();
    const Image image = std::move(bitmap).freeze();
    // The painter's top-left is the raster's top-left, whatever the raster's canvas origin.
    EXPECT_EQ(image.at(52, 63), (Pixel{0, 0, 128, 128}));
    EXPECT_EQ(image.at(55, 67), (Pixel{0, 0, 128, 128}));
    EXPECT_EQ(image.at(56, 63), Pixel{});
}

TEST(RasterQtBridge, ViewsAndConversionsShareOrConvertAsNeeded) {
    const Image image = makeImage(3, 2, [](int x, int) { return Pixel{std::uint8_t(x * 10), 0, 0, 100}; });
    const QImage view = qimageView(image);
    EXPECT_EQ(view.constBits(), image.row(0));
    EXPECT_EQ(view.pixel(2, 0), qRgba(0, 0, 20, 100)); // the same bytes read as Qt's ARGB word

    QImage rgb(2, 1, QImage::Format_RGB888);
    rgb.setPixel(0, 0, qRgb(10, 20, 30));
    rgb.setPixel(1, 0, qRgb(200, 150, 100));
    const Image converted = imageFromQImage(rgb, {7, 8});
    EXPECT_EQ(converted.at(7, 8), opaque(10, 20, 30));
    EXPECT_EQ(converted.at(8, 8), opaque(200, 150, 100));

    const QImage premultiplied = view.copy();
    EXPECT_EQ(imageFromQImage(premultiplied).row(0), premultiplied.constBits());
}

TEST(RasterQtBridge, TextDrawsOnWorkerThreads) {
    std::vector<Image> results(4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&results, i] {
            results[i] = paintImage({0, 0, 160, 40}, [](QPainter& painter) {
                QFont font;
                font.setPixelSize(24);
                painter.setFont(font);
                painter.setPen(Qt::white);
                painter.drawText(QRect(0, 0, 160, 40), Qt::AlignCenter, QStringLiteral("12:34 real"));
            });
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const Image& image : results) {
        int inked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                inked += image.at(x, y).a > 128 ? 1 : 0;
            }
        }
        EXPECT_GT(inked, 100);
    }
}

TEST(RasterImageFile, PngKeepsEveryPremultipliedPixel) {
    vi::test::TempDir dir;
    const Image image = makeImage(17, 9, [](int x, int y) {
        const auto a = std::uint8_t(x * 15);
        return Pixel{std::uint8_t(a * y / 8), std::uint8_t(a / 2), a, a};
    });
    std::string error;
    ASSERT_TRUE(writePng(image, dir / "a.png", &error)) << error;
    const auto read = readImageFile(dir / "a.png", &error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->extent(), (IntRect{0, 0, 17, 9}));
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 17; ++x) {
            const Pixel want = image.at(x, y);
            const Pixel got = read->at(x, y);
            // PNG stores unpremultiplied colour, so faint pixels round on the way back.
            EXPECT_EQ(got.a, want.a);
            EXPECT_NEAR(got.r, want.r, 1);
            EXPECT_NEAR(got.g, want.g, 1);
            EXPECT_NEAR(got.b, want.b, 1);
        }
    }
}

TEST(RasterImageFile, JpegIsOpaqueAndClose) {
    vi::test::TempDir dir;
    const Image image = makeImage(32, 32, [](int x, int y) { return opaque(std::uint8_t(x * 8), 90, std::uint8_t(y * 8)); });
    std::string error;
    ASSERT_TRUE(writeJpeg(image, dir / "a.jpg", 0.92, &error)) << error;
    const auto read = readImageFile(dir / "a.jpg", &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->at(16, 16).a, 255);
    EXPECT_NEAR(read->at(16, 16).r, 128, 6);
    EXPECT_NEAR(read->at(16, 16).g, 90, 6);
}

TEST(RasterImageFile, FailuresAreReportedNotThrown) {
    vi::test::TempDir dir;
    std::string error;
    EXPECT_FALSE(readImageFile(dir / "missing.png", &error));
    EXPECT_FALSE(error.empty());
    std::ofstream(dir / "garbage.png") << "not a picture at all";
    EXPECT_FALSE(readImageFile(dir / "garbage.png"));
    error.clear();
    EXPECT_FALSE(writePng(makeImage(2, 2, [](int, int) { return Pixel{}; }), dir / "no/such/folder/x.png", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(writePng(Image{}, dir / "empty.png"));
}

} // namespace
} // namespace vi::raster
