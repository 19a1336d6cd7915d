// The control's life driven through its events with a clock of our own: each scenario is a list
// of steps (time in ms, event) with the action and state expected after each.
#include "webview/runtime_life.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

enum class Event {
    Ready,
    BrowserFailed,
    BrowserFailedNoEvent,
    Exited,
    Tick,
    Renderer,
    Unresponsive,
    Answered,
    Stop,
};

struct Step {
    LifeMillis at;
    Event event;
    LifeAction action;
    LifeState state;
    bool stillUnresponsive = false;  // StillUnresponsive(at) after the step
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;
};

LifeAction Apply(RuntimeLife& life, Event event, LifeMillis at) {
    switch (event) {
        case Event::Ready:
            life.ControlReady();
            return LifeAction::None;
        case Event::BrowserFailed:
            return life.BrowserProcessFailed(at, true);
        case Event::BrowserFailedNoEvent:
            return life.BrowserProcessFailed(at, false);
        case Event::Exited:
            return life.BrowserProcessExited(at);
        case Event::Tick:
            return life.Tick(at);
        case Event::Renderer:
            return life.RendererExited(at);
        case Event::Unresponsive:
            return life.Unresponsive(at);
        case Event::Answered:
            life.PageAnswered();
            return LifeAction::None;
        case Event::Stop:
            life.Stop();
            return LifeAction::None;
    }
    return LifeAction::None;
}

constexpr LifeMillis kSecond = 1000;
using A = LifeAction;
using S = LifeState;
using E = Event;

TEST(RuntimeLife, TimeRulesAndEventOrders) {
    const Scenario scenarios[] = {
        {"exit event second: waits for it, then recreates",
         {{0, E::Ready, A::None, S::Running},
          {1 * kSecond, E::BrowserFailed, A::WaitForBrowserExit, S::AwaitingBrowserExit},
          {5 * kSecond, E::Tick, A::None, S::AwaitingBrowserExit},
          {5 * kSecond + 1, E::Exited, A::Recreate, S::Recreating},
          {7 * kSecond, E::Tick, A::None, S::Recreating},
          {8 * kSecond, E::Ready, A::None, S::Running}}},
        {"exit event first: recreates at once, ProcessFailed after it changes nothing",
         {{0, E::Ready, A::None, S::Running},
          {1 * kSecond, E::Exited, A::Recreate, S::Recreating},
          {1 * kSecond + 1, E::BrowserFailed, A::None, S::Recreating},
          {2 * kSecond, E::Ready, A::None, S::Running}}},
        {"exit event never: the wait ends after 5 s",
         {{0, E::Ready, A::None, S::Running},
          {10 * kSecond, E::BrowserFailed, A::WaitForBrowserExit, S::AwaitingBrowserExit},
          {15 * kSecond - 1, E::Tick, A::None, S::AwaitingBrowserExit},
          {15 * kSecond, E::Tick, A::Recreate, S::Recreating},
          {16 * kSecond, E::Exited, A::None, S::Recreating}}},
        {"a runtime without the event: no wait",
         {{0, E::Ready, A::None, S::Running},
          {1 * kSecond, E::BrowserFailedNoEvent, A::Recreate, S::Recreating}}},
        {"the fourth browser exit within 60 s gives up; one more later would not",
         {{0, E::Ready, A::None, S::Running},
          {0, E::Exited, A::Recreate, S::Recreating},
          {1 * kSecond, E::Ready, A::None, S::Running},
          {20 * kSecond, E::BrowserFailedNoEvent, A::Recreate, S::Recreating},
          {21 * kSecond, E::Ready, A::None, S::Running},
          {40 * kSecond, E::BrowserFailed, A::WaitForBrowserExit, S::AwaitingBrowserExit},
          {41 * kSecond, E::Exited, A::Recreate, S::Recreating},
          {42 * kSecond, E::Ready, A::None, S::Running},
          {60 * kSecond, E::BrowserFailed, A::TooManyBrowserExits, S::Stopped},
          {61 * kSecond, E::Exited, A::None, S::Stopped},
          {62 * kSecond, E::Ready, A::None, S::Stopped}}},
        {"browser exits spread over more than 60 s recover",
         {{0, E::Ready, A::None, S::Running},
          {0, E::Exited, A::Recreate, S::Recreating},
          {1, E::Ready, A::None, S::Running},
          {20 * kSecond, E::Exited, A::Recreate, S::Recreating},
          {20 * kSecond + 1, E::Ready, A::None, S::Running},
          {40 * kSecond, E::Exited, A::Recreate, S::Recreating},
          {40 * kSecond + 1, E::Ready, A::None, S::Running},
          {60 * kSecond + 1, E::Exited, A::Recreate, S::Recreating}}},
        {"renderer exits: reload three times within 60 s, the fourth stops",
         {{0, E::Ready, A::None, S::Running},
          {0, E::Renderer, A::Reload, S::Running},
          {30 * kSecond, E::Renderer, A::Reload, S::Running},
          {59 * kSecond, E::Renderer, A::Reload, S::Running},
          {60 * kSecond, E::Renderer, A::TooManyRendererExits, S::Stopped}}},
        {"renderer exits 61 s apart keep reloading",
         {{0, E::Ready, A::None, S::Running},
          {0, E::Renderer, A::Reload, S::Running},
          {1 * kSecond, E::Renderer, A::Reload, S::Running},
          {2 * kSecond, E::Renderer, A::Reload, S::Running},
          {61 * kSecond, E::Renderer, A::Reload, S::Running}}},
        {"unresponsive: asked once 10 s into an episode",
         {{0, E::Ready, A::None, S::Running},
          {0, E::Unresponsive, A::None, S::Running, true},
          {6 * kSecond, E::Unresponsive, A::None, S::Running, true},
          {10 * kSecond - 1, E::Unresponsive, A::None, S::Running, true},
          {10 * kSecond, E::Unresponsive, A::AskUnresponsive, S::Running, true},
          {15 * kSecond, E::Unresponsive, A::None, S::Running, true},
          // 30 s without a report still belongs to the episode; more starts a new one
          {45 * kSecond, E::Unresponsive, A::None, S::Running, true},
          {75 * kSecond + 1, E::Tick, A::None, S::Running, false},
          {75 * kSecond + 1, E::Unresponsive, A::None, S::Running, true},
          {85 * kSecond + 1, E::Unresponsive, A::AskUnresponsive, S::Running, true}}},
        {"unresponsive: a report 30 s after the last still belongs to its episode",
         {{0, E::Ready, A::None, S::Running},
          {0, E::Unresponsive, A::None, S::Running, true},
          {6 * kSecond, E::Unresponsive, A::None, S::Running, true},
          {36 * kSecond, E::Unresponsive, A::AskUnresponsive, S::Running, true}}},
        {"unresponsive: a page that answered is not asked about",
         {{0, E::Ready, A::None, S::Running},
          {0, E::Unresponsive, A::None, S::Running, true},
          {5 * kSecond, E::Answered, A::None, S::Running, false},
          {10 * kSecond, E::Unresponsive, A::None, S::Running, true},
          {19 * kSecond, E::Unresponsive, A::None, S::Running, true},
          {20 * kSecond, E::Unresponsive, A::AskUnresponsive, S::Running, true},
          // the box was asked for; the page answers before it shows, or before "close"
          {20 * kSecond + 1, E::Answered, A::None, S::Running, false}}},
        {"unresponsive: a renderer exit or a new control ends the episode",
         {{0, E::Ready, A::None, S::Running},
          {0, E::Unresponsive, A::None, S::Running, true},
          {5 * kSecond, E::Renderer, A::Reload, S::Running, false},
          {6 * kSecond, E::Unresponsive, A::None, S::Running, true},
          {7 * kSecond, E::Exited, A::Recreate, S::Recreating, false},
          {16 * kSecond, E::Unresponsive, A::None, S::Recreating, false},
          {17 * kSecond, E::Ready, A::None, S::Running, false},
          {18 * kSecond, E::Renderer, A::Reload, S::Running, false}}},
        {"nothing but a control's own failures reach the machine before it runs",
         {{0, E::BrowserFailed, A::None, S::Starting},
          {0, E::Exited, A::None, S::Starting},
          {0, E::Renderer, A::None, S::Starting},
          {0, E::Unresponsive, A::None, S::Starting},
          {20 * kSecond, E::Tick, A::None, S::Starting}}},
        {"the window closes while waiting: no new control, ever",
         {{0, E::Ready, A::None, S::Running},
          {0, E::BrowserFailed, A::WaitForBrowserExit, S::AwaitingBrowserExit},
          {1 * kSecond, E::Stop, A::None, S::Stopped},
          {6 * kSecond, E::Tick, A::None, S::Stopped},
          {6 * kSecond, E::Exited, A::None, S::Stopped},
          {7 * kSecond, E::Ready, A::None, S::Stopped},
          {8 * kSecond, E::Unresponsive, A::None, S::Stopped}}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        RuntimeLife life;
        int index = 0;
        for (const Step& step : scenario.steps) {
            SCOPED_TRACE("step " + std::to_string(index++));
            EXPECT_EQ(Apply(life, step.event, step.at), step.action);
            EXPECT_EQ(life.State(), step.state);
            EXPECT_EQ(life.StillUnresponsive(step.at), step.stillUnresponsive);
            EXPECT_EQ(life.Deadline().has_value(), step.state == S::AwaitingBrowserExit);
            if (life.Deadline()) EXPECT_LE(*life.Deadline() - step.at, kBrowserExitWaitMs);
        }
    }
}

}  // namespace
