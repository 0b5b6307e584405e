#include "PictureFile.h"

#include "GifComposer.h"
#include "GifErrors.h"
#include "TGIFFrame.h"
#include "TGIFImage.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <exception>

namespace PictureFile {

QString fitSummary(const FitResult& r) {
    return QString("%1x%2, %3 colours%4, %5 %6, PSNR %7 dB")
        .arg(r.width)
        .arg(r.height)
        .arg(r.colors)
        .arg(r.localTables ? " per frame" : "")
        .arg(r.frames)
        .arg(r.frames == 1 ? "frame" : "frames")
        .arg(r.psnr, 0, 'f', 1);
}

bool isGif(const QByteArray& bytes) {
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

bool isStillPicture(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    const QByteArray format = QImageReader::imageFormat(&buffer);
    return format == "png" || format == "jpeg" || format == "jpg" || format == "bmp";
}

namespace {

PictureLoad failed(const QString& why) {
    return {std::nullopt, why};
}

PictureLoad fromGif(const QByteArray& bytes) {
    TGIFImage image;
    try {
        image.loadFromBytes(reinterpret_cast<const uint8_t*>(bytes.constData()),
                            static_cast<size_t>(bytes.size()));
    } catch (const std::exception& e) {
        return failed(QString("is no GIF Tarvel can read (%1)").arg(QString::fromUtf8(e.what())));
    }
    const int count = image.frameCount();
    const int64_t pixels = int64_t{image.width()} * image.height();
    if (count == 0 || pixels == 0)
        return failed("holds no frame");
    if (pixels * count > kMaxPixels)
        return failed("is too large to fit (too many frames or pixels)");
    FitSource source;
    source.loopCount = image.looping() ? std::optional<uint16_t>(image.repeatCount()) : std::nullopt;
    GifComposer composer;
    for (int i = 0; i < count; ++i) {
        if (!composer.compose(image, i))
            return failed(QString("frame %1 cannot be shown").arg(i + 1));
        source.frames.push_back({composer.width(), composer.height(), composer.rgba()});
        source.delaysMs.push_back(image.frame(i).delay() * 10);
    }
    if (const GifStatus status = composer.takeStatus(); status != GifStatus::ok)
        return failed(QString("is damaged (%1)").arg(QString::fromStdString(gifStatusText(status))));
    return {std::move(source), {}};
}

PictureLoad fromImage(const QByteArray& bytes) {
    QImage image;
    if (!image.loadFromData(bytes))
        return failed("is no picture Tarvel can read (PNG, JPEG, BMP or GIF)");
    if (int64_t{image.width()} * image.height() > kMaxPixels)
        return failed("is too large to fit");
    image = image.convertToFormat(QImage::Format_RGBA8888);
    RgbaImage frame{image.width(), image.height(), {}};
    frame.rgba.resize(static_cast<size_t>(frame.width) * frame.height * 4);
    for (int y = 0; y < frame.height; ++y)
        std::copy_n(image.constScanLine(y), static_cast<size_t>(frame.width) * 4,
                    frame.rgba.begin() + static_cast<ptrdiff_t>(static_cast<size_t>(y) * frame.width * 4));
    FitSource source;
    source.frames.push_back(std::move(frame));
    source.delaysMs.push_back(0);
    return {std::move(source), {}};
}

} // namespace

PictureLoad fromBytes(const QByteArray& bytes) {
    return isGif(bytes) ? fromGif(bytes) : fromImage(bytes);
}

PictureLoad load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed("cannot be read: " + file.errorString());
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes)
        return failed("is too large to read");
    return fromBytes(bytes);
}

} // namespace PictureFile
