#include "app/media/SnapshotSaver.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "base/ByteOrder.h"

namespace vistrel::media {

namespace {

QString subfolder(QStandardPaths::StandardLocation location) {
    const QString base = QStandardPaths::writableLocation(location);
    return base.isEmpty() ? QString() : QDir(base).filePath(QStringLiteral("Vistrel"));
}

}  // namespace

QString SnapshotFolder() { return subfolder(QStandardPaths::PicturesLocation); }

QString RecordingFolder() { return subfolder(QStandardPaths::MoviesLocation); }

QString MediaFileName(int channel, const QDateTime& when, const QString& suffix) {
    return QStringLiteral("ch%1-%2%3")
        .arg(channel, 2, 10, QLatin1Char('0'))
        .arg(when.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")), suffix);
}

QString UniqueFilePath(const QString& folder, const QString& fileName) {
    const QDir dir(folder);
    QString path = dir.filePath(fileName);
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? fileName : fileName.left(dot);
    const QString suffix = dot < 0 ? QString() : fileName.mid(dot);
    for (int n = 2; QFileInfo::exists(path) && n < 1000; ++n)
        path = dir.filePath(QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(suffix));
    return path;
}

QImage ImageFromSnapshotBitmap(const std::vector<std::uint8_t>& bitmap) {
    // Only our own bitmap: 'BM', 24 bits, bottom-up rows, and exactly as long as its header says, so a
    // damaged size field never makes a picture bigger than the bytes behind it.
    constexpr std::size_t kHeader = 54;
    if (bitmap.size() < kHeader || bitmap[0] != 'B' || bitmap[1] != 'M' || bitmap[28] != 24 || bitmap[29] != 0)
        return {};
    const auto u32 = [&](std::size_t at) { return base::Le32(&bitmap[at]); };
    const std::uint32_t offset = u32(10), width = u32(18), height = u32(22);
    if (offset < kHeader || width == 0 || height == 0 || width > 0x10000 || height > 0x10000) return {};
    const std::uint64_t stride = (std::uint64_t(width) * 3 + 3) & ~std::uint64_t(3);
    if (std::uint64_t(offset) + stride * height > bitmap.size()) return {};
    QImage image;
    if (!image.loadFromData(bitmap.data(), int(bitmap.size()), "BMP")) return {};
    return image.convertToFormat(QImage::Format_RGB888);
}

QString SaveSnapshotPng(const QImage& image, const QString& folder, const QString& fileName, QString* error) {
    if (image.isNull()) {
        *error = QStringLiteral("no picture to save");
        return {};
    }
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot make the folder '%1'").arg(folder);
        return {};
    }
    const QString path = UniqueFilePath(folder, fileName);
    // Written aside and renamed: a full disk leaves no half picture under the final name.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        *error = QStringLiteral("cannot write '%1': %2").arg(path, file.errorString());
        return {};
    }
    return path;
}

}  // namespace vistrel::media
