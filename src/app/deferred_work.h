// Work a WebView2 callback leaves for after it has returned (a box, a loop or a window of the
// shell could run inside it otherwise): queued, and run from the message loop in the order it was
// left, one piece at a time. The page layer (messages, extension texts) and the control layer
// (window requests) both leave work here; neither owns the queue. Plain C++: the message loop is
// reached through the function given at construction.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>

class DeferredWork {
public:
    // `askToRun` asks the message loop to call Run later (a posted message); false when it
    // could not, and the next Add asks again.
    explicit DeferredWork(std::function<bool()> askToRun) : askToRun_(std::move(askToRun)) {}

    // Queues work of the page shown now.
    void Add(std::function<void()> work);
    // The page was replaced (a new control, a renderer that exited): work the old page left is
    // dropped rather than applied to the new one.
    void NewPage() { ++page_; }
    // Runs what is queued. A piece that pumps messages (an extension showing a box) may reach Run
    // again: that inner call returns at once and the outer one goes on once the piece returned.
    void Run();
    // Nothing runs from now on; what is queued is dropped.
    void Stop();
    // Whether work is waiting or running: page messages then wait behind it.
    bool Busy() const { return !queue_.empty() || running_; }

private:
    struct Piece {
        std::uint64_t page;
        std::function<void()> work;
    };
    std::function<bool()> askToRun_;
    std::deque<Piece> queue_;
    std::uint64_t page_ = 0;
    bool asked_ = false;
    bool running_ = false;
    bool stopped_ = false;
};
