#include "app/deferred_work.h"

void DeferredWork::Add(std::function<void()> work) {
    if (stopped_) return;
    queue_.push_back(Piece{page_, std::move(work)});
    if (asked_) return;
    // Should the request fail (a full queue), the next piece of work asks again.
    asked_ = askToRun_ && askToRun_();
}

void DeferredWork::Run() {
    asked_ = false;
    if (running_) return;
    running_ = true;
    while (!queue_.empty() && !stopped_) {
        Piece piece = std::move(queue_.front());
        queue_.pop_front();
        if (piece.page != page_) continue;
        try {
            piece.work();
        } catch (...) {
        }
    }
    running_ = false;
}

void DeferredWork::Stop() {
    stopped_ = true;
    queue_.clear();
}
