#pragma once
// The window's live recording: the received stream into a file in the videos folder, with a REC
// mark, the elapsed time and the size over the picture's top-right corner.
//
// The live session's worker hands every block to observer(), which forwards it to the running
// recorder (if any) under a short lock. Finishing a recording (the last queued writes and the
// close, seconds on a slow disk) runs on a thread of its own, so the GUI thread never waits on
// the disk; the destructor waits for those threads.

#include <QLabel>
#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "stream/record/ByteWriter.h"
#include "stream/record/LiveRecorder.h"

namespace vistrel::media {

class RecordController : public QObject {
    Q_OBJECT
public:
    // Opens the file a recording goes into (tests inject failing writers).
    using WriterFactory =
        std::function<std::unique_ptr<record::ByteWriter>(const std::string& path, std::string* error)>;

    // The REC mark is a child of `overlayParent`, kept above its other children.
    explicit RecordController(QWidget* overlayParent, QObject* parent = nullptr);
    ~RecordController() override;

    // For LiveStreamSession::SetBlockObserver; valid as long as this object.
    std::function<void(const std::uint8_t*, std::size_t)> observer();

    void setWriterFactory(WriterFactory factory) { makeWriter_ = std::move(factory); }
    void setQueueLimit(std::size_t bytes) { queueLimit_ = bytes; }

    // Starts recording into `folder`/`fileName` (the folder is made when missing). False with a
    // message already emitted when it cannot.
    bool start(const QString& folder, const QString& fileName);
    // Ends the running recording (if any); `why` goes into the message ("channel changed", ...).
    void stop(const QString& why);
    bool recording() const { return running_ != nullptr; }
    QString path() const { return path_; }
    // Where the mark goes: the picture area in the parent's coordinates.
    void placeOverlay(const QRect& pictureArea);
    QLabel* overlay() const { return mark_; }
    // Finished recordings, for tests: the number whose file has been closed.
    int finishedCount() const { return finished_; }

signals:
    void recordingChanged(bool on);
    // One line for the status line: where the file is, or why the recording stopped.
    void message(const QString& text);
    // A recording has been closed (by stop or by a failure); ok false when its file is damaged.
    void finished(const QString& path, bool ok);

private:
    void onFailed(const QString& reason);  // GUI thread, queued from the writer thread
    void refreshMark();
    void finishInBackground(std::shared_ptr<record::LiveRecorder> recorder, const QString& path,
                            const QString& why);

    WriterFactory makeWriter_;
    std::size_t queueLimit_ = record::LiveRecorder::kDefaultQueueLimit;

    std::mutex lock_;  // guards current_ (the worker reads it)
    std::shared_ptr<record::LiveRecorder> current_;
    std::shared_ptr<record::LiveRecorder> running_;  // GUI thread's copy of current_
    QString path_;                                   // GUI thread
    std::vector<std::thread> finishers_;             // started and joined by the GUI thread
    int finished_ = 0;                               // GUI thread

    QLabel* mark_ = nullptr;  // child of the overlay parent
    QRect area_;
    QTimer tick_;
};

// "1.4 MB", "820 KB", for the mark.
QString SizeText(std::uint64_t bytes);
// "00:12", "1:02:03".
QString ElapsedText(std::int64_t ms);

}  // namespace vistrel::media
