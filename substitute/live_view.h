// The live view of a page driven in a headless browser: a child window over the controller's
// area of the host window that paints the page's latest frame and forwards mouse and keyboard
// input, as DevTools Input commands, to the page.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "runtime.h"

namespace substitute {

class LiveView {
  public:
    // `send` gets {"method": "Input....", "params": {...}} for each input event.
    LiveView(HWND parent, std::function<void(const Json&)> send);
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    void SetBounds(const RECT& bounds);
    void SetVisible(bool visible);
    HWND Window() const { return window_; }
    // Device pixels per CSS pixel: mouse positions reach the page divided by it.
    void SetScale(double scale) { scale_ = scale > 0 ? scale : 1.0; }
    // An encoded image (PNG or JPEG) of the page as it was at `time` (milliseconds since the Unix
    // epoch); undecodable frames are dropped.
    void ShowFrame(const std::string& encoded, double time);
    // Called with a frame's time once the window has painted it.
    void OnPainted(std::function<void(double)> painted) { painted_ = std::move(painted); }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void Mouse(const char* type, LPARAM lParam, const char* button, int clicks, int deltaY = 0);
    void Key(const char* type, WPARAM virtualKey, const std::string& text = {});

    HWND window_ = nullptr;
    bool comStarted_ = false;  // this view initialised COM on the thread (frames need WIC)
    std::function<void(const Json&)> send_;
    std::function<void(double)> painted_;
    std::vector<unsigned char> pixels_;  // 32-bit BGRA, top-down
    UINT frameWidth_ = 0;
    UINT frameHeight_ = 0;
    double frameTime_ = 0;
    bool framePainted_ = true;  // the latest frame has been painted (or there is none)
    wchar_t highSurrogate_ = 0;
    double scale_ = 1.0;
};

}  // namespace substitute
