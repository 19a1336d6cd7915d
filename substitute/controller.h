// The controller: bounds, visibility, focus and the parent window of the webview it owns.
#pragma once

#include "com_support.h"
#include "webview.h"

namespace substitute {

class Controller final
    : public ComObject<ICoreWebView2Controller3, ICoreWebView2Controller, ICoreWebView2Controller2,
                       ICoreWebView2Controller3> {
  public:
    Controller(ComPtr<WebView> webview, HWND parent);
    ~Controller() override;

    HRESULT STDMETHODCALLTYPE get_IsVisible(BOOL* isVisible) override;
    HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL isVisible) override;
    HRESULT STDMETHODCALLTYPE get_Bounds(RECT* bounds) override;
    HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) override;
    HRESULT STDMETHODCALLTYPE get_ZoomFactor(double* zoomFactor) override;
    HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) override;
    HRESULT STDMETHODCALLTYPE
    add_ZoomFactorChanged(ICoreWebView2ZoomFactorChangedEventHandler* eventHandler,
                          EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_ZoomFactorChanged(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE SetBoundsAndZoomFactor(RECT bounds, double zoomFactor) override;
    HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) override;
    HRESULT STDMETHODCALLTYPE
    add_MoveFocusRequested(ICoreWebView2MoveFocusRequestedEventHandler* eventHandler,
                           EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_MoveFocusRequested(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE add_GotFocus(ICoreWebView2FocusChangedEventHandler* eventHandler,
                                           EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_GotFocus(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE add_LostFocus(ICoreWebView2FocusChangedEventHandler* eventHandler,
                                            EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_LostFocus(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE
    add_AcceleratorKeyPressed(ICoreWebView2AcceleratorKeyPressedEventHandler* eventHandler,
                              EventRegistrationToken* token) override;
    HRESULT STDMETHODCALLTYPE remove_AcceleratorKeyPressed(EventRegistrationToken token) override;
    HRESULT STDMETHODCALLTYPE get_ParentWindow(HWND* parentWindow) override;
    HRESULT STDMETHODCALLTYPE put_ParentWindow(HWND parentWindow) override;
    HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override;
    HRESULT STDMETHODCALLTYPE Close() override;
    HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** coreWebView2) override;

    SUBSTITUTE_UNUSED_SLOT(get_DefaultBackgroundColor)
    SUBSTITUTE_UNUSED_SLOT(put_DefaultBackgroundColor)
    // The page's scale: the parent window's monitor scale (its dpi / 96) unless the host sets one.
    HRESULT STDMETHODCALLTYPE get_RasterizationScale(double* scale) override;
    HRESULT STDMETHODCALLTYPE put_RasterizationScale(double scale) override;
    HRESULT STDMETHODCALLTYPE get_ShouldDetectMonitorScaleChanges(BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_ShouldDetectMonitorScaleChanges(BOOL value) override;
    SUBSTITUTE_UNUSED_SLOT(add_RasterizationScaleChanged)
    SUBSTITUTE_UNUSED_SLOT(remove_RasterizationScaleChanged)
    SUBSTITUTE_UNUSED_SLOT(get_BoundsMode)
    SUBSTITUTE_UNUSED_SLOT(put_BoundsMode)

    WebView& Page() { return *webview_.Get(); }
    // Closes the page and lets every handler of the controller and its webview go.
    void Shut();

  protected:
    void OnQueryInterface(REFIID riid, bool answered) override;

  private:
    ComPtr<WebView> webview_;
    HWND parent_;
    HWND focus_ = nullptr;  // the page's focus window, a child of parent_
    RECT bounds_{};
    BOOL visible_ = TRUE;
    double zoom_ = 1.0;
    double scale_ = 1.0;
    BOOL detectScale_ = TRUE;
    UnraisedEvents unraised_;
    // Set by Close; the watch on the parent window reads it when the parent goes.
    std::shared_ptr<bool> closeCalled_ = std::make_shared<bool>(false);
};

}  // namespace substitute
