// The scenario player: a page driver that reads a scenario file and plays its steps in order,
// one dispatcher task per step, after any navigation the host started has run to its end.
#include <cstdio>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>

#include "com_support.h"
#include "page.h"
#include "runtime.h"
#include "scenario.h"

namespace substitute {
namespace {

// Carries out the host's navigations and keeps count of those still running.
class NavigatingDriver : public PageDriver {
  public:
    void Start(PageSurface&) override {}
    void OnHostNavigate(PageSurface& page, const std::string& uri) override {
        ++pendingNavigations_;
        page.RunNavigation(uri, false, [this] {
            if (--pendingNavigations_ == 0 && whenSettled_) {
                auto resume = std::move(whenSettled_);
                whenSettled_ = nullptr;
                Dispatcher::Get().Post(std::move(resume));
            }
        });
    }

  protected:
    // Runs `next` once no host navigation is running (now, through the dispatcher, if none is).
    void WhenSettled(std::function<void()> next) {
        if (pendingNavigations_ == 0) {
            Dispatcher::Get().Post(std::move(next));
        } else {
            whenSettled_ = std::move(next);
        }
    }

  private:
    int pendingNavigations_ = 0;
    std::function<void()> whenSettled_;
};

// The player switching to a window of another program and back: `away` shows and activates a
// top-level window of the runtime's own, as another program's; then the host's window is
// activated again and that window goes.
void SwitchToOtherWindow(bool away, HWND host) {
    static HWND other = nullptr;
    if (away) {
        if (other == nullptr || !IsWindow(other))
            other = CreateWindowExW(0, L"STATIC", L"Another program", WS_OVERLAPPEDWINDOW, 0, 0,
                                    200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ShowWindow(other, SW_SHOW);
        SetForegroundWindow(other);
        SetActiveWindow(other);
    } else {
        if (host != nullptr) {
            SetForegroundWindow(host);
            SetActiveWindow(host);
        }
        if (other != nullptr && IsWindow(other)) DestroyWindow(other);
        other = nullptr;
    }
    Record("activation", Json{{"active", away ? "other" : "host"},
                              {"hostActive", host != nullptr && GetActiveWindow() == host}});
}

std::string ReadFile(const std::wstring& path, bool& ok) {
    ok = false;
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) return {};
    std::string text;
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, read);
    ok = std::ferror(file) == 0;
    std::fclose(file);
    return text;
}

Json WindowSnapshot(HWND window) {
    Json snapshot;
    snapshot["windowValid"] = IsWindow(window) != FALSE;
    const int length = GetWindowTextLengthW(window);
    std::wstring title(static_cast<std::size_t>(length) + 1, L'\0');
    title.resize(static_cast<std::size_t>(GetWindowTextW(window, title.data(), length + 1)));
    RECT windowRect{}, clientRect{};
    GetWindowRect(window, &windowRect);
    GetClientRect(window, &clientRect);
    snapshot["title"] = ToUtf8(title);
    snapshot["visible"] = IsWindowVisible(window) != FALSE;
    snapshot["windowRect"] = RectJson(windowRect);
    snapshot["clientRect"] = RectJson(clientRect);
    snapshot["style"] = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_STYLE));
    snapshot["exStyle"] = static_cast<std::uint32_t>(GetWindowLongW(window, GWL_EXSTYLE));
    return snapshot;
}

// The steps a scenario had left when its control closed because the browser process exited:
// the page side goes on with them in the next control the host creates in this process.
struct Continuation {
    std::wstring path;
    std::vector<ScenarioStep> steps;
};
std::optional<Continuation>& PendingContinuation() {
    static auto* pending = new std::optional<Continuation>();  // process lifetime
    return *pending;
}

class ScenarioPlayer final : public NavigatingDriver {
  public:
    explicit ScenarioPlayer(std::wstring path) : path_(std::move(path)) {}

    void Start(PageSurface& page) override {
        std::optional<Continuation>& pending = PendingContinuation();
        if (pending && pending->path == path_) {
            steps_ = std::move(pending->steps);
            pending.reset();
            Record("scenario",
                   Json{{"path", ToUtf8(path_)}, {"steps", steps_.size()}, {"continued", true}});
            page_ = &page;
            hold_ = page.Hold();
            WhenSettled([this] { Run(0); });
            return;
        }
        bool ok = false;
        const std::string text = ReadFile(path_, ok);
        if (!ok) {
            Record("failure", Json{{"message", "cannot read the scenario " + ToUtf8(path_)}});
            return;
        }
        ParsedScenario parsed = ParseScenario(text);
        Record("scenario", Json{{"path", ToUtf8(path_)},
                                {"steps", parsed.steps.size()},
                                {"errors", parsed.errors}});
        if (!parsed.errors.empty()) {
            for (const std::string& error : parsed.errors)
                Record("failure", Json{{"message", error}});
            return;  // a scenario with mistakes is not played at all
        }
        steps_ = std::move(parsed.steps);
        page_ = &page;
        hold_ = page.Hold();
        WhenSettled([this] { Run(0); });
    }

    // Closed by the host, the page plays on (its events are skipped, as the runtime raises
    // nothing after Close); closed because the browser process exited, its remaining steps go on
    // in the next control.
    void OnClosed() override {
        if (page_ == nullptr || stopped_ || !page_->BrowserExited()) return;
        stopped_ = true;
        if (playing_ + 1 < steps_.size()) {
            PendingContinuation() = Continuation{
                path_,
                std::vector<ScenarioStep>(
                    steps_.begin() + static_cast<std::ptrdiff_t>(playing_ + 1), steps_.end())};
        }
        // The page is let go by the step that is still on its way (Run sees stopped_).
    }

  private:
    void Next(std::size_t index) {
        WhenSettled([this, index] { Run(index + 1); });
    }

    void Finish(int line) {
        stopped_ = true;
        Record("end", Json{{"line", line}});
        // Nothing more will happen: let the page go, from a task of its own, since dropping the
        // last reference destroys this player.
        Dispatcher::Get().Post([hold = std::move(hold_)] {});
    }

    void Run(std::size_t index) {
        if (stopped_) {
            // The control closed: nothing more happens on this page. This was the last task of
            // the player; the page goes from a task of its own, as in Finish.
            Dispatcher::Get().Post([hold = std::move(hold_)] {});
            return;
        }
        if (index >= steps_.size()) return Finish(0);
        playing_ = index;
        const ScenarioStep& step = steps_[index];
        Record("step", Json{{"line", step.line}, {"text", step.text}});
        try {
            if (Play(step, index)) Next(index);
        } catch (const std::exception& error) {
            Record("failure", Json{{"line", step.line}, {"message", error.what()}});
            Next(index);
        }
    }

    // Plays one step; false when the step itself arranges what comes next.
    bool Play(const ScenarioStep& step, std::size_t index) {
        PageSurface& page = *page_;
        switch (step.kind) {
            case StepKind::Navigate:
                page.RunNavigation(step.uri, true, [this, index] { Next(index); });
                return false;
            case StepKind::Request: {
                // The next step waits until the answer's body has been read.
                PageRequest request{step.method, step.uri, step.context, step.headers};
                request.source = step.source;
                page.RaiseResourceRequest(
                    request, [this, index](const std::optional<PageResponse>&) { Next(index); });
                return false;
            }
            case StepKind::DomContentLoaded:
                page.RaiseDomContentLoaded();
                return true;
            case StepKind::MessageJson: {
                const nlohmann::json value = nlohmann::json::parse(step.text2);
                std::optional<std::string> asString;
                if (value.is_string()) asString = value.get<std::string>();
                page.RaiseWebMessage(step.uri, step.text2, asString);
                return true;
            }
            case StepKind::MessageString:
                page.RaiseWebMessage(
                    step.uri,
                    nlohmann::json(step.text2)
                        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                    step.text2);
                return true;
            case StepKind::Title:
                page.RaiseTitleChanged(step.text2);
                return true;
            case StepKind::Fullscreen:
                page.RaiseFullscreenChanged(step.flag);
                return true;
            case StepKind::Close:
                page.RaiseWindowCloseRequested();
                return true;
            case StepKind::NewWindow:
                page.RaiseNewWindowRequested(step.uri);
                return true;
            case StepKind::Permission:
                page.RaisePermissionRequested(step.permission, step.uri);
                return true;
            case StepKind::Key:
                page.RaiseAcceleratorKey(step.virtualKey, step.keyEventKind);
                return true;
            case StepKind::Wait:
                Wait(step, index, GetTickCount64());
                return false;
            case StepKind::Sleep:
                Dispatcher::Get().PostAfter(step.milliseconds, [this, index] { Next(index); });
                return false;
            case StepKind::ProcessFailed:
                page.RaiseProcessFailed(ProcessFailure{step.processKind, step.processReason,
                                                       step.exitCode, "", step.exitEvent});
                return true;
            case StepKind::NavigateFail:
                page.RunFailingNavigation(step.uri, true, step.webErrorStatus,
                                          [this, index] { Next(index); });
                return false;
            case StepKind::Snapshot: {
                Json snapshot = WindowSnapshot(page.ParentWindow());
                snapshot["pageFocused"] = page.PageHasFocus();
                Record("snapshot", std::move(snapshot));
                return true;
            }
            case StepKind::Deactivate:
                SwitchToOtherWindow(true, page.ParentWindow());
                return true;
            case StepKind::Activate:
                SwitchToOtherWindow(false, page.ParentWindow());
                return true;
            case StepKind::Minimize:
            case StepKind::Restore:
                // As the player does it from the taskbar.
                ShowWindow(page.ParentWindow(),
                           step.kind == StepKind::Minimize ? SW_MINIMIZE : SW_RESTORE);
                return true;
            case StepKind::End:
                Finish(step.line);
                return false;
        }
        return true;
    }

    // Polls the host's call count until it reaches the step's count or the time runs out.
    void Wait(const ScenarioStep& step, std::size_t index, ULONGLONG started) {
        const std::size_t seen = Transcript::Get().CallCount(step.method);
        if (seen >= step.count) return Next(index);
        if (GetTickCount64() - started >= step.milliseconds) {
            Record("failure", Json{{"line", step.line},
                                   {"message", "wait timed out"},
                                   {"method", step.method},
                                   {"count", step.count},
                                   {"seen", seen}});
            return Next(index);
        }
        Dispatcher::Get().PostAfter(10,
                                    [this, &step, index, started] { Wait(step, index, started); });
    }

    std::wstring path_;
    std::vector<ScenarioStep> steps_;
    PageSurface* page_ = nullptr;
    std::shared_ptr<void> hold_;  // keeps the page alive while steps remain
    std::size_t playing_ = 0;     // the step being played
    bool stopped_ = false;        // ended, or the control closed
};

}  // namespace

std::unique_ptr<PageDriver> MakePageDriver(const Switches& switches) {
    const std::wstring endpoint = EnvironmentVariable(L"WRAPPER_SUBSTITUTE_CHROMIUM");
    if (!endpoint.empty())
        return MakeChromiumDriver(ToUtf8(endpoint), switches.userDataFolder,
                                  switches.browserArguments);
    if (switches.scenarioPath.empty()) return std::make_unique<NavigatingDriver>();
    return std::make_unique<ScenarioPlayer>(switches.scenarioPath);
}

}  // namespace substitute
