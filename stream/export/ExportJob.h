#pragma once
// An export running on a worker thread of its own, for a window that shows its progress and
// offers Cancel: the job owns the source, reports the share done through a callback on the
// worker thread, and hands over its result once it has ended.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "stream/export/Exporter.h"
#include "stream/export/MediaSource.h"

namespace vistrel::exporter {

class ExportJob {
public:
    // Both run on the worker thread; a window forwards them through queued signals.
    using ProgressCallback = std::function<void(double fraction)>;
    using DoneCallback = std::function<void(const ExportResult& result)>;

    ExportJob() = default;
    ~ExportJob();  // cancels and waits
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    // Starts the export of `source` (taken over) into `path`. False when a job still runs.
    bool Start(std::unique_ptr<MediaSource> source, std::string path, ProgressCallback progress,
               DoneCallback done);
    // From any thread; returns at once. The worker ends soon after and removes the partial file.
    void Cancel();
    // Waits for the worker; the result is then final.
    void Wait();
    bool Running() const { return running_.load(); }
    // The last share reported, 0..1, readable from any thread.
    double Fraction() const { return fraction_.load(); }
    ExportResult Result() const;

private:
    std::thread worker_;  // started and joined by the owning thread
    std::atomic<bool> cancel_{false};
    std::atomic<bool> running_{false};
    std::atomic<double> fraction_{0.0};
    std::unique_ptr<MediaSource> source_;  // used by the worker while it runs
    mutable std::mutex resultLock_;
    ExportResult result_;  // guarded by resultLock_
};

}  // namespace vistrel::exporter
