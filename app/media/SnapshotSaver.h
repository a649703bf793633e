#pragma once
// Snapshots and recordings from the window: where they go, what they are called, and the snapshot
// bitmap turned into a PNG file at the picture's own size.

#include <QDateTime>
#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace vistrel::media {

// The user's pictures / videos folder with a "Vistrel" subfolder; empty when the system names none.
QString SnapshotFolder();
QString RecordingFolder();

// "ch05-2026-12-08_11-46-35" + suffix (".png", ...).
QString MediaFileName(int channel, const QDateTime& when, const QString& suffix);

// `folder`/`fileName`, or with "-2", "-3", ... before the suffix when that file exists already: two
// snapshots or recordings within the same second must not overwrite each other.
QString UniqueFilePath(const QString& folder, const QString& fileName);

// The decoders' 24-bit bitmap (file image in memory) as a picture; null for anything else.
QImage ImageFromSnapshotBitmap(const std::vector<std::uint8_t>& bitmap);

// Writes `image` as PNG into `folder` (made when missing) under `fileName` (made unique as above).
// Returns the full path,
// or an empty string with the reason in *error.
QString SaveSnapshotPng(const QImage& image, const QString& folder, const QString& fileName, QString* error);

}  // namespace vistrel::media
