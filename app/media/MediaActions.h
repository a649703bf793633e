#pragma once
// The window's media commands: Snapshot (key S) in live view and playback, Record in live view,
// Export... and Mute in playback. They live here rather than in the dialog, which only tells
// this object when its mode or its live stream changes and when it is closing.

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <thread>

#include "app/media/AudioOutput.h"
#include "app/media/ExportDialog.h"

namespace vistrel::app {
class CwmTarselDlg;
}

namespace vistrel::media {

class RecordController;

class MediaActions : public QObject {
    Q_OBJECT
public:
    // Becomes the player's sound sink and the live session's block observer; `window` must not
    // start a stream before this exists, and must call shutdown() before its streams go away.
    explicit MediaActions(app::CwmTarselDlg& window);
    ~MediaActions() override;

    QAction* snapshotAction() const { return snapshot_; }
    QAction* recordAction() const { return record_; }
    QAction* exportAction() const { return export_; }
    QAction* muteAction() const { return mute_; }
    RecordController& recorder() const { return *recorder_; }
    AudioOutput& audio() const { return *audio_; }
    ExportDialog* exportDialog() const { return exportDialog_.data(); }
    // The last line meant for the status line.
    QString lastMessage() const { return lastMessage_; }

    // Replaces the sound output's device (tests; a fresh output takes over as the player's sink).
    void useAudioDevice(std::unique_ptr<AudioDevice> device);

    // From the dialog.
    void modeApplied(int mode, bool playback);
    void liveStreamStarting();
    // Ends the recording, waits for a snapshot being written; nothing starts afterwards.
    void shutdown();

public slots:
    void takeSnapshot();
    void toggleRecording(bool on);
    void openExport();

signals:
    void message(const QString& text);
    void snapshotSaved(const QString& path);

private:
    void say(const QString& text);
    int channel() const;
    void snapshotDone(const QString& path, const QString& error);

    app::CwmTarselDlg& window_;
    QAction* snapshot_ = nullptr;
    QAction* record_ = nullptr;
    QAction* export_ = nullptr;
    QAction* mute_ = nullptr;
    RecordController* recorder_ = nullptr;  // child
    AudioOutput* audio_ = nullptr;          // child; the player's sink
    QPointer<ExportDialog> exportDialog_;
    QString lastMessage_;
    std::thread snapshotThread_;  // started and joined by the GUI thread
    bool snapshotBusy_ = false;   // GUI thread
    bool live_ = false;
    bool shutDown_ = false;
};

}  // namespace vistrel::media
