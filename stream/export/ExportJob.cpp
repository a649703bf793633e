#include "stream/export/ExportJob.h"

namespace vistrel::exporter {

ExportJob::~ExportJob() {
    Cancel();
    Wait();
}

bool ExportJob::Start(std::unique_ptr<MediaSource> source, std::string path, ProgressCallback progress,
                      DoneCallback done) {
    if (running_.load() || !source) return false;
    Wait();
    source_ = std::move(source);
    cancel_ = false;
    fraction_ = 0.0;
    running_ = true;
    worker_ = std::thread([this, path = std::move(path), progress = std::move(progress), done = std::move(done)] {
        ExportResult r = RunExport(
            *source_, path,
            [this, &progress](double f) {
                fraction_ = f;
                if (progress) progress(f);
            },
            cancel_);
        {
            std::lock_guard<std::mutex> guard(resultLock_);
            result_ = r;
        }
        running_ = false;
        if (done) done(r);
    });
    return true;
}

void ExportJob::Cancel() {
    cancel_ = true;
    if (running_.load() && source_) source_->Interrupt();
}

void ExportJob::Wait() {
    if (worker_.joinable()) worker_.join();
}

ExportResult ExportJob::Result() const {
    std::lock_guard<std::mutex> guard(resultLock_);
    return result_;
}

}  // namespace vistrel::exporter
