#include "webview/runtime_life.h"

namespace {

// Notes one more failure at `now`; true when it is more than kMaxRecoveries within the window.
bool TooManyWithinWindow(std::deque<LifeMillis>& times, LifeMillis now) {
    times.push_back(now);
    while (!times.empty() && now - times.front() > kRecoveryWindowMs) times.pop_front();
    return times.size() > static_cast<std::size_t>(kMaxRecoveries);
}

}  // namespace

void RuntimeLife::ControlReady() {
    if (state_ == LifeState::Stopped) return;
    state_ = LifeState::Running;
    deadline_.reset();
    EndEpisode();
}

void RuntimeLife::Stop() {
    state_ = LifeState::Stopped;
    deadline_.reset();
}

LifeAction RuntimeLife::BrowserGone(LifeMillis now) {
    EndEpisode();
    deadline_.reset();
    if (TooManyWithinWindow(browserExits_, now)) {
        state_ = LifeState::Stopped;
        return LifeAction::TooManyBrowserExits;
    }
    state_ = LifeState::Recreating;
    return LifeAction::Recreate;
}

LifeAction RuntimeLife::BrowserProcessFailed(LifeMillis now, bool exitEventOffered) {
    // Awaiting or recreating: the same exit, told twice.
    if (state_ != LifeState::Running) return LifeAction::None;
    const LifeAction gone = BrowserGone(now);
    if (gone != LifeAction::Recreate || !exitEventOffered) return gone;
    // A new environment on the same user-data folder may fail while the old browser process
    // still ends: wait for the event that says it is gone, but not for ever.
    state_ = LifeState::AwaitingBrowserExit;
    deadline_ = now + kBrowserExitWaitMs;
    return LifeAction::WaitForBrowserExit;
}

LifeAction RuntimeLife::BrowserProcessExited(LifeMillis now) {
    if (state_ == LifeState::Running) return BrowserGone(now);  // before ProcessFailed
    if (state_ != LifeState::AwaitingBrowserExit) return LifeAction::None;
    state_ = LifeState::Recreating;
    deadline_.reset();
    return LifeAction::Recreate;
}

LifeAction RuntimeLife::Tick(LifeMillis now) {
    if (state_ != LifeState::AwaitingBrowserExit || !deadline_ || now < *deadline_)
        return LifeAction::None;
    state_ = LifeState::Recreating;
    deadline_.reset();
    return LifeAction::Recreate;
}

LifeAction RuntimeLife::RendererExited(LifeMillis now) {
    if (state_ != LifeState::Running) return LifeAction::None;
    EndEpisode();
    if (TooManyWithinWindow(rendererExits_, now)) {
        state_ = LifeState::Stopped;
        return LifeAction::TooManyRendererExits;
    }
    return LifeAction::Reload;
}

LifeAction RuntimeLife::Unresponsive(LifeMillis now) {
    if (state_ != LifeState::Running) return LifeAction::None;
    if (!unresponsiveSince_ || now - unresponsiveLast_ > kUnresponsiveEpisodeGapMs) {
        unresponsiveSince_ = now;
        unresponsiveAsked_ = false;
    }
    unresponsiveLast_ = now;
    if (unresponsiveAsked_ || now - *unresponsiveSince_ < kUnresponsiveAskAfterMs)
        return LifeAction::None;
    unresponsiveAsked_ = true;
    return LifeAction::AskUnresponsive;
}

void RuntimeLife::PageAnswered() { EndEpisode(); }

bool RuntimeLife::StillUnresponsive(LifeMillis now) const {
    return state_ == LifeState::Running && unresponsiveSince_ &&
           now - unresponsiveLast_ <= kUnresponsiveEpisodeGapMs;
}

void RuntimeLife::EndEpisode() {
    unresponsiveSince_.reset();
    unresponsiveAsked_ = false;
}

const char* LifeActionText(LifeAction action) {
    switch (action) {
        case LifeAction::None:
            return "none";
        case LifeAction::WaitForBrowserExit:
            return "a new environment and controller once the browser process is gone (at most 5 "
                   "s), then the start page";
        case LifeAction::Recreate:
            return "a new environment and controller, then the start page";
        case LifeAction::Reload:
            return "reload";
        case LifeAction::AskUnresponsive:
            return "ask whether to wait or close";
        case LifeAction::TooManyBrowserExits:
            return "the start-failure box, exit code 1 (too many browser exits)";
        case LifeAction::TooManyRendererExits:
            return "the stopped-unexpectedly box, exit code 1 (too many renderer exits)";
    }
    return "none";
}
