// The life of the WebView2 control as the host sees it: the runtime's process failures and its
// browser-exit event, in whatever order they come, and what the host does about each. Plain C++
// with a clock the caller passes in (milliseconds, any origin), so that tests drive the time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

using LifeMillis = std::uint64_t;

// How the host answers the runtime's process failures.
inline constexpr int kMaxRecoveries = 3;                    // per kind, within the window below
inline constexpr LifeMillis kRecoveryWindowMs = 60 * 1000;  // 60 seconds
inline constexpr LifeMillis kUnresponsiveAskAfterMs = 10 * 1000;  // into one episode
// An unresponsive renderer is reported again every few seconds while it lasts: a report this long
// after the previous one starts a new episode.
inline constexpr LifeMillis kUnresponsiveEpisodeGapMs = 30 * 1000;
// After ProcessFailed (browser process exited), how long the host waits for the environment's
// BrowserProcessExited before it makes the new environment all the same.
inline constexpr LifeMillis kBrowserExitWaitMs = 5 * 1000;

enum class LifeState {
    Starting,             // no control yet
    Running,              // a control shows the page
    AwaitingBrowserExit,  // the browser process failed; waiting for BrowserProcessExited
    Recreating,           // a new environment and control are being made
    Stopped,              // the run ends (a box, the player's answer, the window closing)
};

enum class LifeAction {
    None,                  // nothing to do (a failure the runtime recovers from, or a late event)
    WaitForBrowserExit,    // arm a timer for the deadline; a new control follows the event or it
    Recreate,              // make a new environment and control, then the start page
    Reload,                // reload the page (its renderer exited)
    AskUnresponsive,       // ask the player, once the callback returned, whether to wait
    TooManyBrowserExits,   // the start-failure box, exit code 1
    TooManyRendererExits,  // the stopped-unexpectedly box, exit code 1
};

class RuntimeLife {
public:
    LifeState State() const { return state_; }
    // When a WaitForBrowserExit ends without the event (a Tick at or after it recreates).
    std::optional<LifeMillis> Deadline() const { return deadline_; }

    // A control was made and shows the start page.
    void ControlReady();
    // The host gives up (a box ends the run, the window closes): later events change nothing.
    void Stop();

    // ProcessFailed of the current control, kind browser process exited. `exitEventOffered`:
    // the environment has BrowserProcessExited (older runtimes never raise it).
    LifeAction BrowserProcessFailed(LifeMillis now, bool exitEventOffered);
    // BrowserProcessExited of the current environment. It may come before ProcessFailed (the
    // runtime gives the two in no fixed order): the browser is gone either way.
    LifeAction BrowserProcessExited(LifeMillis now);
    // The clock moved (a timer): the wait for BrowserProcessExited may be over.
    LifeAction Tick(LifeMillis now);
    // ProcessFailed of the current control, the page's renderer exited.
    LifeAction RendererExited(LifeMillis now);
    // ProcessFailed of the current control, the page's renderer does not respond.
    LifeAction Unresponsive(LifeMillis now);
    // The page showed it runs (a message, DOMContentLoaded, a finished navigation): an
    // unresponsive episode is over.
    void PageAnswered();
    // Whether the page is (still) in an unresponsive episode at `now`: the box asked for earlier
    // is shown, and the player's "close" obeyed, only then.
    bool StillUnresponsive(LifeMillis now) const;

private:
    // The browser process is gone: recreate, or give up after too many exits.
    LifeAction BrowserGone(LifeMillis now);
    void EndEpisode();

    LifeState state_ = LifeState::Starting;
    std::optional<LifeMillis> deadline_;
    std::deque<LifeMillis> browserExits_;
    std::deque<LifeMillis> rendererExits_;
    // The current unresponsive episode: its first and last report, and whether the player was
    // asked in it.
    std::optional<LifeMillis> unresponsiveSince_;
    LifeMillis unresponsiveLast_ = 0;
    bool unresponsiveAsked_ = false;
};

// The log's words for an action.
const char* LifeActionText(LifeAction action);
