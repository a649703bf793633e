#pragma once
// Carries the playback player's progress reports from its threads to the GUI thread.

#include <QObject>

namespace vistrel::app {

// Lives on the GUI thread. The player calls Callback on its own threads with the relay as context;
// the call only posts the report and returns, and reports that arrive after the relay is
// destroyed are dropped.
class ProgressRelay : public QObject {
    Q_OBJECT
public:
    explicit ProgressRelay(QObject* parent = nullptr);
    ~ProgressRelay() override;
    ProgressRelay(const ProgressRelay&) = delete;
    ProgressRelay& operator=(const ProgressRelay&) = delete;

    // A playback::ProgressFunction: context is the ProgressRelay. Never blocks on the GUI thread.
    static void Callback(int kind, int value, void* relay);

signals:
    // Queued on the relay's thread, in the order the reports were made by each reporting thread.
    void progress(int kind, int value);
};

}  // namespace vistrel::app
