// Pixel checks that name the first wrong pixel.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <functional>
#include <gtest/gtest.h>
#include <string>

inline std::string ColorName(QRgb c) {
    return QColor(c).name().toStdString();
}

// Compares every pixel of image with expected(x, y); reports the first
// difference with its column, row, expected and actual colour.
inline ::testing::AssertionResult PixelsAre(const QImage &image, const std::function<QColor(int, int)> &expected) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb want = expected(x, y).rgb() | 0xff000000u;
            const QRgb got = img.pixel(x, y) | 0xff000000u;
            if (want != got)
                return ::testing::AssertionFailure()
                       << "first wrong pixel at x=" << x << " y=" << y << ": expected " << ColorName(want)
                       << ", got " << ColorName(got) << " (image " << img.width() << "x" << img.height() << ")";
        }
    return ::testing::AssertionSuccess();
}
