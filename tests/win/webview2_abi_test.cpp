// Binary layout of our WebView2 declarations: identifiers, vtable slots, parameter types, enum
// values and struct layout, checked against the interface facts the host relies on.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "webview/webview2_api.h"

namespace {

// The slot a pointer to a virtual member function names. mingw-w64 follows the Itanium C++ ABI:
// such a pointer holds 1 + the byte offset of the function in the vtable, and an adjustment of 0
// for single inheritance.
template <typename Member>
std::ptrdiff_t SlotOf(Member member) {
    static_assert(sizeof(Member) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t raw[2];
    std::memcpy(raw, &member, sizeof raw);
    if ((raw[0] & 1) == 0 || raw[1] != 0) return -1;  // not a virtual function of a primary base
    return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

struct SlotCase {
    const char* name;
    std::ptrdiff_t actual;
    std::ptrdiff_t expected;
};

#define SLOT(Interface, Method, n) \
    SlotCase { #Interface "::" #Method, SlotOf(&Interface::Method), n }

TEST(WebView2Abi, MethodsSitInTheirVtableSlots) {
    const std::vector<SlotCase> cases = {
        SLOT(ICoreWebView2Environment, CreateCoreWebView2Controller, 3),
        SLOT(ICoreWebView2Environment, CreateWebResourceResponse, 4),
        SLOT(ICoreWebView2Environment, remove_NewBrowserVersionAvailable, 7),
        SLOT(ICoreWebView2Environment2, CreateWebResourceRequest, 8),
        SLOT(ICoreWebView2Environment3, CreateCoreWebView2PointerInfo, 10),
        SLOT(ICoreWebView2Environment4, GetAutomationProviderForWindow, 11),
        SLOT(ICoreWebView2Environment5, add_BrowserProcessExited, 12),
        SLOT(ICoreWebView2Environment5, remove_BrowserProcessExited, 13),
        SLOT(ICoreWebView2Environment6, CreatePrintSettings, 14),
        SLOT(ICoreWebView2Environment7, get_UserDataFolder, 15),
        SLOT(ICoreWebView2Environment8, GetProcessInfos, 18),
        SLOT(ICoreWebView2Environment9, CreateContextMenuItem, 19),
        SLOT(ICoreWebView2Environment10, CreateCoreWebView2CompositionControllerWithOptions, 22),
        SLOT(ICoreWebView2Environment11, get_FailureReportFolderPath, 23),
        SLOT(ICoreWebView2Environment12, CreateSharedBuffer, 24),
        SLOT(ICoreWebView2Environment13, GetProcessExtendedInfos, 25),
        SLOT(ICoreWebView2Environment14, CreateWebFileSystemFileHandle, 26),
        SLOT(ICoreWebView2Environment14, CreateWebFileSystemDirectoryHandle, 27),
        SLOT(ICoreWebView2Environment14, CreateObjectCollection, 28),

        SLOT(ICoreWebView2Controller, put_IsVisible, 4),
        SLOT(ICoreWebView2Controller, put_Bounds, 6),
        SLOT(ICoreWebView2Controller, SetBoundsAndZoomFactor, 11),
        SLOT(ICoreWebView2Controller, MoveFocus, 12),
        SLOT(ICoreWebView2Controller, add_AcceleratorKeyPressed, 19),
        SLOT(ICoreWebView2Controller, get_ParentWindow, 21),
        SLOT(ICoreWebView2Controller, NotifyParentWindowPositionChanged, 23),
        SLOT(ICoreWebView2Controller, Close, 24),
        SLOT(ICoreWebView2Controller, get_CoreWebView2, 25),
        SLOT(ICoreWebView2Controller2, put_DefaultBackgroundColor, 27),
        SLOT(ICoreWebView2Controller3, get_RasterizationScale, 28),
        SLOT(ICoreWebView2Controller3, put_RasterizationScale, 29),
        SLOT(ICoreWebView2Controller3, get_ShouldDetectMonitorScaleChanges, 30),
        SLOT(ICoreWebView2Controller3, put_BoundsMode, 35),

        SLOT(ICoreWebView2, get_Settings, 3),
        SLOT(ICoreWebView2, Navigate, 5),
        SLOT(ICoreWebView2, add_NavigationStarting, 7),
        SLOT(ICoreWebView2, add_ContentLoading, 9),
        SLOT(ICoreWebView2, add_SourceChanged, 11),
        SLOT(ICoreWebView2, add_HistoryChanged, 13),
        SLOT(ICoreWebView2, add_NavigationCompleted, 15),
        SLOT(ICoreWebView2, remove_NavigationCompleted, 16),
        SLOT(ICoreWebView2, add_PermissionRequested, 23),
        SLOT(ICoreWebView2, add_ProcessFailed, 25),
        SLOT(ICoreWebView2, remove_ProcessFailed, 26),
        SLOT(ICoreWebView2, Reload, 31),
        SLOT(ICoreWebView2, CapturePreview, 30),
        SLOT(ICoreWebView2, PostWebMessageAsJson, 32),
        SLOT(ICoreWebView2, add_WebMessageReceived, 34),
        SLOT(ICoreWebView2, add_NewWindowRequested, 44),
        SLOT(ICoreWebView2, add_DocumentTitleChanged, 46),
        SLOT(ICoreWebView2, get_DocumentTitle, 48),
        SLOT(ICoreWebView2, OpenDevToolsWindow, 51),
        SLOT(ICoreWebView2, add_ContainsFullScreenElementChanged, 52),
        SLOT(ICoreWebView2, get_ContainsFullScreenElement, 54),
        SLOT(ICoreWebView2, add_WebResourceRequested, 55),
        SLOT(ICoreWebView2, AddWebResourceRequestedFilter, 57),
        SLOT(ICoreWebView2, add_WindowCloseRequested, 59),
        SLOT(ICoreWebView2, remove_WindowCloseRequested, 60),
        SLOT(ICoreWebView2_2, add_WebResourceResponseReceived, 61),
        SLOT(ICoreWebView2_2, add_DOMContentLoaded, 64),
        SLOT(ICoreWebView2_2, get_Environment, 67),
        SLOT(ICoreWebView2_3, ClearVirtualHostNameToFolderMapping, 72),
        SLOT(ICoreWebView2_4, remove_DownloadStarting, 76),
        SLOT(ICoreWebView2_5, remove_ClientCertificateRequested, 78),
        SLOT(ICoreWebView2_6, OpenTaskManagerWindow, 79),
        SLOT(ICoreWebView2_7, PrintToPdf, 80),
        SLOT(ICoreWebView2_8, get_IsDocumentPlayingAudio, 87),
        SLOT(ICoreWebView2_9, put_DefaultDownloadDialogMargin, 96),
        SLOT(ICoreWebView2_10, remove_BasicAuthenticationRequested, 98),
        SLOT(ICoreWebView2_11, remove_ContextMenuRequested, 101),
        SLOT(ICoreWebView2_12, get_StatusBarText, 104),
        SLOT(ICoreWebView2_13, get_Profile, 105),
        SLOT(ICoreWebView2_14, ClearServerCertificateErrorActions, 108),
        SLOT(ICoreWebView2_15, GetFavicon, 112),
        SLOT(ICoreWebView2_16, PrintToPdfStream, 115),
        SLOT(ICoreWebView2_17, PostSharedBufferToScript, 116),
        SLOT(ICoreWebView2_18, remove_LaunchingExternalUriScheme, 118),
        SLOT(ICoreWebView2_19, put_MemoryUsageTargetLevel, 120),
        SLOT(ICoreWebView2_20, get_FrameId, 121),
        SLOT(ICoreWebView2_21, ExecuteScriptWithResult, 122),
        SLOT(ICoreWebView2_22, AddWebResourceRequestedFilterWithRequestSourceKinds, 123),
        SLOT(ICoreWebView2_22, RemoveWebResourceRequestedFilterWithRequestSourceKinds, 124),
        SLOT(ICoreWebView2_23, PostWebMessageAsJsonWithAdditionalObjects, 125),

        SLOT(ICoreWebView2Settings, put_IsScriptEnabled, 4),
        SLOT(ICoreWebView2Settings, put_IsWebMessageEnabled, 6),
        SLOT(ICoreWebView2Settings, put_AreDefaultScriptDialogsEnabled, 8),
        SLOT(ICoreWebView2Settings, put_AreDevToolsEnabled, 12),
        SLOT(ICoreWebView2Settings, put_AreDefaultContextMenusEnabled, 14),
        SLOT(ICoreWebView2Settings, put_AreHostObjectsAllowed, 16),
        SLOT(ICoreWebView2Settings, put_IsZoomControlEnabled, 18),
        SLOT(ICoreWebView2Settings, put_IsBuiltInErrorPageEnabled, 20),
        SLOT(ICoreWebView2Settings2, put_UserAgent, 22),
        SLOT(ICoreWebView2Settings3, put_AreBrowserAcceleratorKeysEnabled, 24),

        SLOT(ICoreWebView2WebResourceRequestedEventArgs, get_Request, 3),
        SLOT(ICoreWebView2WebResourceRequestedEventArgs, put_Response, 5),
        SLOT(ICoreWebView2WebResourceRequestedEventArgs, GetDeferral, 6),
        SLOT(ICoreWebView2WebResourceRequestedEventArgs, get_ResourceContext, 7),
        SLOT(ICoreWebView2WebResourceRequest, get_Uri, 3),
        SLOT(ICoreWebView2WebResourceRequest, get_Method, 5),
        SLOT(ICoreWebView2WebResourceRequest, get_Headers, 9),
        SLOT(ICoreWebView2HttpRequestHeaders, GetHeader, 3),
        SLOT(ICoreWebView2HttpRequestHeaders, Contains, 5),
        SLOT(ICoreWebView2HttpRequestHeaders, GetIterator, 8),
        SLOT(ICoreWebView2HttpResponseHeaders, AppendHeader, 3),
        SLOT(ICoreWebView2HttpResponseHeaders, Contains, 4),
        SLOT(ICoreWebView2HttpResponseHeaders, GetHeader, 5),
        SLOT(ICoreWebView2HttpResponseHeaders, GetIterator, 7),
        SLOT(ICoreWebView2HttpHeadersCollectionIterator, GetCurrentHeader, 3),
        SLOT(ICoreWebView2HttpHeadersCollectionIterator, MoveNext, 5),
        SLOT(ICoreWebView2WebResourceResponse, get_Content, 3),
        SLOT(ICoreWebView2WebResourceResponse, get_Headers, 5),
        SLOT(ICoreWebView2WebResourceResponse, get_StatusCode, 6),
        SLOT(ICoreWebView2WebResourceResponse, get_ReasonPhrase, 8),
        SLOT(ICoreWebView2NavigationStartingEventArgs, get_Uri, 3),
        SLOT(ICoreWebView2NavigationStartingEventArgs, put_Cancel, 8),
        SLOT(ICoreWebView2NavigationStartingEventArgs, get_NavigationId, 9),
        SLOT(ICoreWebView2PermissionRequestedEventArgs, get_Uri, 3),
        SLOT(ICoreWebView2PermissionRequestedEventArgs, put_State, 7),
        SLOT(ICoreWebView2PermissionRequestedEventArgs, GetDeferral, 8),
        SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_Uri, 3),
        SLOT(ICoreWebView2NewWindowRequestedEventArgs, put_NewWindow, 4),
        SLOT(ICoreWebView2NewWindowRequestedEventArgs, put_Handled, 6),
        SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_Handled, 7),
        SLOT(ICoreWebView2NewWindowRequestedEventArgs, get_WindowFeatures, 10),
        SLOT(ICoreWebView2WindowFeatures, get_Height, 7),
        SLOT(ICoreWebView2WindowFeatures, get_Width, 8),
        SLOT(ICoreWebView2WindowFeatures, get_ShouldDisplayScrollBars, 12),
        SLOT(ICoreWebView2WebMessageReceivedEventArgs, get_Source, 3),
        SLOT(ICoreWebView2WebMessageReceivedEventArgs, TryGetWebMessageAsString, 5),
        SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_VirtualKey, 4),
        SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, get_PhysicalKeyStatus, 6),
        SLOT(ICoreWebView2AcceleratorKeyPressedEventArgs, put_Handled, 8),
        SLOT(ICoreWebView2DOMContentLoadedEventArgs, get_NavigationId, 3),
        SLOT(ICoreWebView2Deferral, Complete, 3),
        SLOT(ICoreWebView2SourceChangedEventArgs, get_IsNewDocument, 3),
        SLOT(ICoreWebView2ContentLoadingEventArgs, get_IsErrorPage, 3),
        SLOT(ICoreWebView2ContentLoadingEventArgs, get_NavigationId, 4),
        SLOT(ICoreWebView2NavigationCompletedEventArgs, get_IsSuccess, 3),
        SLOT(ICoreWebView2NavigationCompletedEventArgs, get_WebErrorStatus, 4),
        SLOT(ICoreWebView2NavigationCompletedEventArgs, get_NavigationId, 5),
        SLOT(ICoreWebView2ProcessFailedEventArgs, get_ProcessFailedKind, 3),
        SLOT(ICoreWebView2ProcessFailedEventArgs2, get_Reason, 4),
        SLOT(ICoreWebView2ProcessFailedEventArgs2, get_ExitCode, 5),
        SLOT(ICoreWebView2ProcessFailedEventArgs2, get_ProcessDescription, 6),
        SLOT(ICoreWebView2ProcessFailedEventArgs2, get_FrameInfosForFailedProcess, 7),
        SLOT(ICoreWebView2BrowserProcessExitedEventArgs, get_BrowserProcessExitKind, 3),
        SLOT(ICoreWebView2BrowserProcessExitedEventArgs, get_BrowserProcessId, 4),
        SLOT(ICoreWebView2ObjectCollectionView, get_Count, 3),
        SLOT(ICoreWebView2ObjectCollectionView, GetValueAtIndex, 4),
        SLOT(ICoreWebView2ObjectCollection, RemoveValueAtIndex, 5),
        SLOT(ICoreWebView2ObjectCollection, InsertValueAtIndex, 6),
        SLOT(ICoreWebView2FileSystemHandle, get_Kind, 3),
        SLOT(ICoreWebView2FileSystemHandle, get_Path, 4),
        SLOT(ICoreWebView2FileSystemHandle, get_Permission, 5),

        SLOT(ICoreWebView2EnvironmentOptions, get_AdditionalBrowserArguments, 3),
        SLOT(ICoreWebView2EnvironmentOptions, put_AdditionalBrowserArguments, 4),
        SLOT(ICoreWebView2EnvironmentOptions, get_Language, 5),
        SLOT(ICoreWebView2EnvironmentOptions, put_Language, 6),
        SLOT(ICoreWebView2EnvironmentOptions, get_TargetCompatibleBrowserVersion, 7),
        SLOT(ICoreWebView2EnvironmentOptions, put_TargetCompatibleBrowserVersion, 8),
        SLOT(ICoreWebView2EnvironmentOptions, get_AllowSingleSignOnUsingOSPrimaryAccount, 9),
        SLOT(ICoreWebView2EnvironmentOptions, put_AllowSingleSignOnUsingOSPrimaryAccount, 10),
        SLOT(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, Invoke, 3),
        SLOT(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, Invoke, 3),
        SLOT(ICoreWebView2AcceleratorKeyPressedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2DocumentTitleChangedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2WebResourceRequestedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2NavigationStartingEventHandler, Invoke, 3),
        SLOT(ICoreWebView2PermissionRequestedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2ContainsFullScreenElementChangedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2WindowCloseRequestedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2NewWindowRequestedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2WebMessageReceivedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2DOMContentLoadedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2SourceChangedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2ContentLoadingEventHandler, Invoke, 3),
        SLOT(ICoreWebView2HistoryChangedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2NavigationCompletedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2ProcessFailedEventHandler, Invoke, 3),
        SLOT(ICoreWebView2BrowserProcessExitedEventHandler, Invoke, 3),
    };
    for (const SlotCase& c : cases) EXPECT_EQ(c.actual, c.expected) << c.name;
}

#undef SLOT

// The slot computation itself, checked on a class whose layout we know.
struct KnownLayout : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE First() = 0;
    virtual HRESULT STDMETHODCALLTYPE Second() = 0;
};

TEST(WebView2Abi, SlotComputationMatchesAKnownLayout) {
    EXPECT_EQ(SlotOf(&IUnknown::AddRef), 1);
    EXPECT_EQ(SlotOf(&IUnknown::Release), 2);
    EXPECT_EQ(SlotOf(&KnownLayout::First), 3);
    EXPECT_EQ(SlotOf(&KnownLayout::Second), 4);
}

// Each handler interface implemented here and called through raw vtable slot 3, as the runtime
// calls it: both arguments must arrive in Invoke, in their order.
template <typename Interface, typename Sender, typename Args>
class RecordingHandler final : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Invoke(Sender sender, Args args) override {
        seenSender = sender;
        seenArgs = args;
        return S_FALSE;
    }
    Sender seenSender{};
    Args seenArgs{};
};

template <typename T>
T Fake(std::uintptr_t bits) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(bits);
    } else {
        return static_cast<T>(bits);
    }
}

template <typename Interface, typename Sender, typename Args>
void ExpectInvokeInSlotThree(const char* name) {
    RecordingHandler<Interface, Sender, Args> handler;
    Interface* asInterface = &handler;
    using RawInvoke = HRESULT(STDMETHODCALLTYPE*)(Interface*, Sender, Args);
    void** vtable = *reinterpret_cast<void***>(asInterface);
    const auto sender = Fake<Sender>(0x1230);
    const auto args = Fake<Args>(0x4560);
    EXPECT_EQ(reinterpret_cast<RawInvoke>(vtable[3])(asInterface, sender, args), S_FALSE) << name;
    EXPECT_EQ(handler.seenSender, sender) << name;
    EXPECT_EQ(handler.seenArgs, args) << name;
}

TEST(WebView2Abi, HandlersAreCalledThroughSlotThree) {
    ExpectInvokeInSlotThree<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT,
                            ICoreWebView2Environment*>("environment completed");
    ExpectInvokeInSlotThree<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT,
                            ICoreWebView2Controller*>("controller completed");
    ExpectInvokeInSlotThree<ICoreWebView2AcceleratorKeyPressedEventHandler,
                            ICoreWebView2Controller*, ICoreWebView2AcceleratorKeyPressedEventArgs*>(
        "accelerator key");
    ExpectInvokeInSlotThree<ICoreWebView2DocumentTitleChangedEventHandler, ICoreWebView2*,
                            IUnknown*>("title");
    ExpectInvokeInSlotThree<ICoreWebView2WebResourceRequestedEventHandler, ICoreWebView2*,
                            ICoreWebView2WebResourceRequestedEventArgs*>("resource");
    ExpectInvokeInSlotThree<ICoreWebView2NavigationStartingEventHandler, ICoreWebView2*,
                            ICoreWebView2NavigationStartingEventArgs*>("navigation");
    ExpectInvokeInSlotThree<ICoreWebView2PermissionRequestedEventHandler, ICoreWebView2*,
                            ICoreWebView2PermissionRequestedEventArgs*>("permission");
    ExpectInvokeInSlotThree<ICoreWebView2ContainsFullScreenElementChangedEventHandler,
                            ICoreWebView2*, IUnknown*>("fullscreen");
    ExpectInvokeInSlotThree<ICoreWebView2WindowCloseRequestedEventHandler, ICoreWebView2*,
                            IUnknown*>("close");
    ExpectInvokeInSlotThree<ICoreWebView2NewWindowRequestedEventHandler, ICoreWebView2*,
                            ICoreWebView2NewWindowRequestedEventArgs*>("new window");
    ExpectInvokeInSlotThree<ICoreWebView2WebMessageReceivedEventHandler, ICoreWebView2*,
                            ICoreWebView2WebMessageReceivedEventArgs*>("web message");
    ExpectInvokeInSlotThree<ICoreWebView2DOMContentLoadedEventHandler, ICoreWebView2*,
                            ICoreWebView2DOMContentLoadedEventArgs*>("dom content loaded");
    ExpectInvokeInSlotThree<ICoreWebView2SourceChangedEventHandler, ICoreWebView2*,
                            ICoreWebView2SourceChangedEventArgs*>("source changed");
    ExpectInvokeInSlotThree<ICoreWebView2ContentLoadingEventHandler, ICoreWebView2*,
                            ICoreWebView2ContentLoadingEventArgs*>("content loading");
    ExpectInvokeInSlotThree<ICoreWebView2HistoryChangedEventHandler, ICoreWebView2*, IUnknown*>(
        "history changed");
    ExpectInvokeInSlotThree<ICoreWebView2NavigationCompletedEventHandler, ICoreWebView2*,
                            ICoreWebView2NavigationCompletedEventArgs*>("navigation completed");
    ExpectInvokeInSlotThree<ICoreWebView2ProcessFailedEventHandler, ICoreWebView2*,
                            ICoreWebView2ProcessFailedEventArgs*>("process failed");
    ExpectInvokeInSlotThree<ICoreWebView2BrowserProcessExitedEventHandler,
                            ICoreWebView2Environment*, ICoreWebView2BrowserProcessExitedEventArgs*>(
        "browser process exited");
}

struct IidCase {
    const char* name;
    const IID& actual;
    const wchar_t* expected;
};

#define IID_CASE(Interface, text) \
    IidCase { #Interface, __uuidof(Interface), L"{" text L"}" }

TEST(WebView2Abi, InterfaceIdentifiers) {
    const std::vector<IidCase> cases = {
        IID_CASE(ICoreWebView2Environment, L"b96d755e-0319-4e92-a296-23436f46a1fc"),
        IID_CASE(ICoreWebView2Environment2, L"41f3632b-5ef4-404f-ad82-2d606c5a9a21"),
        IID_CASE(ICoreWebView2Environment3, L"80a22ae3-be7c-4ce2-afe1-5a50056cdeeb"),
        IID_CASE(ICoreWebView2Environment4, L"20944379-6dcf-41d6-a0a0-abc0fc50de0d"),
        IID_CASE(ICoreWebView2Environment5, L"319e423d-e0d7-4b8d-9254-ae9475de9b17"),
        IID_CASE(ICoreWebView2Environment6, L"e59ee362-acbd-4857-9a8e-d3644d9459a9"),
        IID_CASE(ICoreWebView2Environment7, L"43c22296-3bbd-43a4-9c00-5c0df6dd29a2"),
        IID_CASE(ICoreWebView2Environment8, L"d6eb91dd-c3d2-45e5-bd29-6dc2bc4de9cf"),
        IID_CASE(ICoreWebView2Environment9, L"f06f41bf-4b5a-49d8-b9f6-fa16cd29f274"),
        IID_CASE(ICoreWebView2Environment10, L"ee0eb9df-6f12-46ce-b53f-3f47b9c928e0"),
        IID_CASE(ICoreWebView2Environment11, L"f0913dc6-a0ec-42ef-9805-91dff3a2966a"),
        IID_CASE(ICoreWebView2Environment12, L"f503db9b-739f-48dd-b151-fdfcf253f54e"),
        IID_CASE(ICoreWebView2Environment13, L"af641f58-72b2-11ee-b962-0242ac120002"),
        IID_CASE(ICoreWebView2Environment14, L"a5e9fad9-c875-59da-9bd7-473aa5ca1cef"),
        IID_CASE(ICoreWebView2Controller, L"4d00c0d1-9434-4eb6-8078-8697a560334f"),
        IID_CASE(ICoreWebView2Controller2, L"c979903e-d4ca-4228-92eb-47ee3fa96eab"),
        IID_CASE(ICoreWebView2Controller3, L"f9614724-5d2b-41dc-aef7-73d62b51543b"),
        IID_CASE(ICoreWebView2, L"76eceacb-0462-4d94-ac83-423a6793775e"),
        IID_CASE(ICoreWebView2_2, L"9e8f0cf8-e670-4b5e-b2bc-73e061e3184c"),
        IID_CASE(ICoreWebView2_3, L"a0d6df20-3b92-416d-aa0c-437a9c727857"),
        IID_CASE(ICoreWebView2_4, L"20d02d59-6df2-42dc-bd06-f98a694b1302"),
        IID_CASE(ICoreWebView2_5, L"bedb11b8-d63c-11eb-b8bc-0242ac130003"),
        IID_CASE(ICoreWebView2_6, L"499aadac-d92c-4589-8a75-111bfc167795"),
        IID_CASE(ICoreWebView2_7, L"79c24d83-09a3-45ae-9418-487f32a58740"),
        IID_CASE(ICoreWebView2_8, L"e9632730-6e1e-43ab-b7b8-7b2c9e62e094"),
        IID_CASE(ICoreWebView2_9, L"4d7b2eab-9fdc-468d-b998-a9260b5ed651"),
        IID_CASE(ICoreWebView2_10, L"b1690564-6f5a-4983-8e48-31d1143fecdb"),
        IID_CASE(ICoreWebView2_11, L"0be78e56-c193-4051-b943-23b460c08bdb"),
        IID_CASE(ICoreWebView2_12, L"35d69927-bcfa-4566-9349-6b3e0d154cac"),
        IID_CASE(ICoreWebView2_13, L"f75f09a8-667e-4983-88d6-c8773f315e84"),
        IID_CASE(ICoreWebView2_14, L"6daa4f10-4a90-4753-8898-77c5df534165"),
        IID_CASE(ICoreWebView2_15, L"517b2d1d-7dae-4a66-a4f4-10352ffb9518"),
        IID_CASE(ICoreWebView2_16, L"0eb34dc9-9f91-41e1-8639-95cd5943906b"),
        IID_CASE(ICoreWebView2_17, L"702e75d4-fd44-434d-9d70-1a68a6b1192a"),
        IID_CASE(ICoreWebView2_18, L"7a626017-28be-49b2-b865-3ba2b3522d90"),
        IID_CASE(ICoreWebView2_19, L"6921f954-79b0-437f-a997-c85811897c68"),
        IID_CASE(ICoreWebView2_20, L"b4bc1926-7305-11ee-b962-0242ac120002"),
        IID_CASE(ICoreWebView2_21, L"c4980dea-587b-43b9-8143-3ef3bf552d95"),
        IID_CASE(ICoreWebView2_22, L"db75dfc7-a857-4632-a398-6969dde26c0a"),
        IID_CASE(ICoreWebView2_23, L"508f0db5-90c4-5872-90a7-267a91377502"),
        IID_CASE(ICoreWebView2Settings, L"e562e4f0-d7fa-43ac-8d71-c05150499f00"),
        IID_CASE(ICoreWebView2Settings2, L"ee9a0f68-f46c-4e32-ac23-ef8cac224d2a"),
        IID_CASE(ICoreWebView2Settings3, L"fdb5ab74-af33-4854-84f0-0a631deb5eba"),
        IID_CASE(ICoreWebView2WebResourceRequestedEventArgs,
                 L"453e667f-12c7-49d4-be6d-ddbe7956f57a"),
        IID_CASE(ICoreWebView2WebResourceRequest, L"97055cd4-512c-4264-8b5f-e3f446cea6a5"),
        IID_CASE(ICoreWebView2HttpRequestHeaders, L"e86cac0e-5523-465c-b536-8fb9fc8c8c60"),
        IID_CASE(ICoreWebView2HttpResponseHeaders, L"03c5ff5a-9b45-4a88-881c-89a9f328619c"),
        IID_CASE(ICoreWebView2HttpHeadersCollectionIterator,
                 L"0702fc30-f43b-47bb-ab52-a42cb552ad9f"),
        IID_CASE(ICoreWebView2WebResourceResponse, L"aafcc94f-fa27-48fd-97df-830ef75aaec9"),
        IID_CASE(ICoreWebView2NavigationStartingEventArgs, L"5b495469-e119-438a-9b18-7604f25f2e49"),
        IID_CASE(ICoreWebView2PermissionRequestedEventArgs,
                 L"973ae2ef-ff18-4894-8fb2-3c758f046810"),
        IID_CASE(ICoreWebView2NewWindowRequestedEventArgs, L"34acb11c-fc37-4418-9132-f9c21d1eafb9"),
        IID_CASE(ICoreWebView2WindowFeatures, L"5eaf559f-b46e-4397-8860-e422f287ff1e"),
        IID_CASE(ICoreWebView2WebMessageReceivedEventArgs, L"0f99a40c-e962-4207-9e92-e3d542eff849"),
        IID_CASE(ICoreWebView2AcceleratorKeyPressedEventArgs,
                 L"9f760f8a-fb79-42be-9990-7b56900fa9c7"),
        IID_CASE(ICoreWebView2DOMContentLoadedEventArgs, L"16b1e21a-c503-44f2-84c9-70aba5031283"),
        IID_CASE(ICoreWebView2Deferral, L"c10e7f7b-b585-46f0-a623-8befbf3e4ee0"),
        IID_CASE(ICoreWebView2SourceChangedEventArgs, L"31e0e545-1dba-4266-8914-f63848a1f7d7"),
        IID_CASE(ICoreWebView2ContentLoadingEventArgs, L"0c8a1275-9b6b-4901-87ad-70df25bafa6e"),
        IID_CASE(ICoreWebView2NavigationCompletedEventArgs,
                 L"30d68b7d-20d9-4752-a9ca-ec8448fbb5c1"),
        IID_CASE(ICoreWebView2ProcessFailedEventArgs, L"8155a9a4-1474-4a86-8cae-151b0fa6b8ca"),
        IID_CASE(ICoreWebView2ProcessFailedEventArgs2, L"4dab9422-46fa-4c3e-a5d2-41d2071d3680"),
        IID_CASE(ICoreWebView2BrowserProcessExitedEventArgs,
                 L"1f00663f-af8c-4782-9cdd-dd01c52e34cb"),
        IID_CASE(ICoreWebView2ObjectCollectionView, L"0f36fd87-4f69-4415-98da-888f89fb9a33"),
        IID_CASE(ICoreWebView2ObjectCollection, L"5cfec11c-25bd-4e8d-9e1a-7acdaeeec047"),
        IID_CASE(ICoreWebView2FileSystemHandle, L"c65100ac-0de2-5551-a362-23d9bd1d0e1f"),
        IID_CASE(ICoreWebView2EnvironmentOptions, L"2fde08a8-1e9a-4766-8c05-95a9ceb9d1c5"),
        IID_CASE(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler,
                 L"4e8a3389-c9d8-4bd2-b6b5-124fee6cc14d"),
        IID_CASE(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler,
                 L"6c4819f3-c9b7-4260-8127-c9f5bde7f68c"),
        IID_CASE(ICoreWebView2AcceleratorKeyPressedEventHandler,
                 L"b29c7e28-fa79-41a8-8e44-65811c76dcb2"),
        IID_CASE(ICoreWebView2DocumentTitleChangedEventHandler,
                 L"f5f2b923-953e-4042-9f95-f3a118e1afd4"),
        IID_CASE(ICoreWebView2WebResourceRequestedEventHandler,
                 L"ab00b74c-15f1-4646-80e8-e76341d25d71"),
        IID_CASE(ICoreWebView2NavigationStartingEventHandler,
                 L"9adbe429-f36d-432b-9ddc-f8881fbd76e3"),
        IID_CASE(ICoreWebView2PermissionRequestedEventHandler,
                 L"15e1c6a3-c72a-4df3-91d7-d097fbec6bfd"),
        IID_CASE(ICoreWebView2ContainsFullScreenElementChangedEventHandler,
                 L"e45d98b1-afef-45be-8baf-6c7728867f73"),
        IID_CASE(ICoreWebView2WindowCloseRequestedEventHandler,
                 L"5c19e9e0-092f-486b-affa-ca8231913039"),
        IID_CASE(ICoreWebView2NewWindowRequestedEventHandler,
                 L"d4c185fe-c81c-4989-97af-2d3fa7ab5651"),
        IID_CASE(ICoreWebView2WebMessageReceivedEventHandler,
                 L"57213f19-00e6-49fa-8e07-898ea01ecbd2"),
        IID_CASE(ICoreWebView2DOMContentLoadedEventHandler,
                 L"4bac7e9c-199e-49ed-87ed-249303acf019"),
        IID_CASE(ICoreWebView2SourceChangedEventHandler, L"3c067f9f-5388-4772-8b48-79f7ef1ab37c"),
        IID_CASE(ICoreWebView2ContentLoadingEventHandler, L"364471e7-f2be-4910-bdba-d72077d51c4b"),
        IID_CASE(ICoreWebView2HistoryChangedEventHandler, L"c79a420c-efd9-4058-9295-3e8b4bcab645"),
        IID_CASE(ICoreWebView2NavigationCompletedEventHandler,
                 L"d33a35bf-1c49-4f98-93ab-006e0533fe1c"),
        IID_CASE(ICoreWebView2ProcessFailedEventHandler, L"79e0aea4-990b-42d9-aa1d-0fcc2e5bc7f1"),
        IID_CASE(ICoreWebView2BrowserProcessExitedEventHandler,
                 L"fa504257-a216-4911-a860-fe8825712861"),
    };
    EXPECT_EQ(cases.size(), 85u);
    for (const IidCase& c : cases) {
        IID expected{};
        ASSERT_EQ(IIDFromString(c.expected, &expected), S_OK) << c.name;
        EXPECT_TRUE(IsEqualIID(c.actual, expected)) << c.name;
    }
}

#undef IID_CASE

// Parents that fix where the derived interfaces' own slots start.
static_assert(std::is_base_of_v<ICoreWebView2Environment13, ICoreWebView2Environment14>);
static_assert(std::is_base_of_v<ICoreWebView2Environment, ICoreWebView2Environment2>);
static_assert(std::is_base_of_v<ICoreWebView2, ICoreWebView2_2>);
static_assert(std::is_base_of_v<ICoreWebView2_22, ICoreWebView2_23>);
static_assert(std::is_base_of_v<ICoreWebView2Settings2, ICoreWebView2Settings3>);
static_assert(
    std::is_base_of_v<ICoreWebView2ProcessFailedEventArgs, ICoreWebView2ProcessFailedEventArgs2>);
static_assert(std::is_base_of_v<ICoreWebView2ObjectCollectionView, ICoreWebView2ObjectCollection>);
static_assert(
    !std::is_base_of_v<ICoreWebView2HttpRequestHeaders, ICoreWebView2HttpResponseHeaders>);

// Parameter types where a plausible slip would still compile: RECT by value, tokens by value in
// remove_*, signed versus unsigned key values, the collection's item array.
static_assert(std::is_same_v<decltype(&ICoreWebView2Controller::put_Bounds),
                             HRESULT (STDMETHODCALLTYPE ICoreWebView2Controller::*)(RECT)>);
static_assert(std::is_same_v<decltype(&ICoreWebView2Controller::SetBoundsAndZoomFactor),
                             HRESULT (STDMETHODCALLTYPE ICoreWebView2Controller::*)(RECT, double)>);
static_assert(std::is_same_v<decltype(&ICoreWebView2::remove_WebMessageReceived),
                             HRESULT (STDMETHODCALLTYPE ICoreWebView2::*)(EventRegistrationToken)>);
static_assert(std::is_same_v<
              decltype(&ICoreWebView2AcceleratorKeyPressedEventArgs::get_KeyEventLParam),
              HRESULT (STDMETHODCALLTYPE ICoreWebView2AcceleratorKeyPressedEventArgs::*)(INT*)>);
static_assert(std::is_same_v<
              decltype(&ICoreWebView2AcceleratorKeyPressedEventArgs::get_VirtualKey),
              HRESULT (STDMETHODCALLTYPE ICoreWebView2AcceleratorKeyPressedEventArgs::*)(UINT*)>);
static_assert(std::is_same_v<decltype(&ICoreWebView2Environment14::CreateObjectCollection),
                             HRESULT (STDMETHODCALLTYPE ICoreWebView2Environment14::*)(
                                 UINT32, IUnknown**, ICoreWebView2ObjectCollection**)>);
static_assert(
    std::is_same_v<decltype(&ICoreWebView2Environment::CreateWebResourceResponse),
                   HRESULT (STDMETHODCALLTYPE ICoreWebView2Environment::*)(
                       IStream*, int, LPCWSTR, LPCWSTR, ICoreWebView2WebResourceResponse**)>);
static_assert(
    std::is_same_v<decltype(&ICoreWebView2_22::AddWebResourceRequestedFilterWithRequestSourceKinds),
                   HRESULT (STDMETHODCALLTYPE ICoreWebView2_22::*)(
                       LPCWSTR, COREWEBVIEW2_WEB_RESOURCE_CONTEXT,
                       COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS)>);
static_assert(std::is_same_v<
              decltype(&ICoreWebView2_22::RemoveWebResourceRequestedFilterWithRequestSourceKinds),
              HRESULT (STDMETHODCALLTYPE ICoreWebView2_22::*)(
                  LPCWSTR, COREWEBVIEW2_WEB_RESOURCE_CONTEXT,
                  COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS)>);
static_assert(std::is_same_v<decltype(&ICoreWebView2_23::PostWebMessageAsJsonWithAdditionalObjects),
                             HRESULT (STDMETHODCALLTYPE ICoreWebView2_23::*)(
                                 LPCWSTR, ICoreWebView2ObjectCollectionView*)>);
static_assert(
    std::is_same_v<decltype(&ICoreWebView2WebResourceResponse::get_StatusCode),
                   HRESULT (STDMETHODCALLTYPE ICoreWebView2WebResourceResponse::*)(int*)>);
static_assert(std::is_same_v<
              decltype(&ICoreWebView2NavigationStartingEventArgs::get_NavigationId),
              HRESULT (STDMETHODCALLTYPE ICoreWebView2NavigationStartingEventArgs::*)(UINT64*)>);
static_assert(
    std::is_same_v<decltype(&ICoreWebView2ProcessFailedEventArgs2::get_ExitCode),
                   HRESULT (STDMETHODCALLTYPE ICoreWebView2ProcessFailedEventArgs2::*)(int*)>);
static_assert(
    std::is_same_v<decltype(&ICoreWebView2ProcessFailedEventArgs2::get_ProcessDescription),
                   HRESULT (STDMETHODCALLTYPE ICoreWebView2ProcessFailedEventArgs2::*)(LPWSTR*)>);
static_assert(std::is_same_v<
              decltype(&ICoreWebView2NavigationCompletedEventArgs::get_NavigationId),
              HRESULT (STDMETHODCALLTYPE ICoreWebView2NavigationCompletedEventArgs::*)(UINT64*)>);
static_assert(std::is_same_v<
              decltype(&ICoreWebView2BrowserProcessExitedEventArgs::get_BrowserProcessId),
              HRESULT (STDMETHODCALLTYPE ICoreWebView2BrowserProcessExitedEventArgs::*)(UINT32*)>);
static_assert(std::is_same_v<
              decltype(&ICoreWebView2Environment5::remove_BrowserProcessExited),
              HRESULT (STDMETHODCALLTYPE ICoreWebView2Environment5::*)(EventRegistrationToken)>);
static_assert(std::is_same_v<decltype(&CreateCoreWebView2EnvironmentWithOptions),
                             HRESULT(STDAPICALLTYPE*)(
                                 PCWSTR, PCWSTR, ICoreWebView2EnvironmentOptions*,
                                 ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*)>);
static_assert(std::is_same_v<decltype(&GetAvailableCoreWebView2BrowserVersionString),
                             HRESULT(STDAPICALLTYPE*)(PCWSTR, LPWSTR*)>);

// Enums: 4-byte C enums with the published values (the last of each, and the ones the host uses).
static_assert(sizeof(COREWEBVIEW2_WEB_RESOURCE_CONTEXT) == 4);
static_assert(sizeof(COREWEBVIEW2_PERMISSION_KIND) == 4);
static_assert(sizeof(COREWEBVIEW2_KEY_EVENT_KIND) == 4);
static_assert(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_ALL == 0);
static_assert(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_DOCUMENT == 1);
static_assert(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_SCRIPT == 6);
static_assert(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_XML_HTTP_REQUEST == 7);
static_assert(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_FETCH == 8);
static_assert(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_CSP_VIOLATION_REPORT == 15);
static_assert(COREWEBVIEW2_WEB_RESOURCE_CONTEXT_OTHER == 16);
static_assert(COREWEBVIEW2_PERMISSION_STATE_ALLOW == 1);
static_assert(COREWEBVIEW2_PERMISSION_STATE_DENY == 2);
static_assert(COREWEBVIEW2_PERMISSION_KIND_FILE_READ_WRITE == 8);
static_assert(COREWEBVIEW2_PERMISSION_KIND_WINDOW_MANAGEMENT == 12);
static_assert(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC == 0);
static_assert(COREWEBVIEW2_MOVE_FOCUS_REASON_PREVIOUS == 2);
static_assert(COREWEBVIEW2_KEY_EVENT_KIND_SYSTEM_KEY_UP == 3);
static_assert(COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION_READ_WRITE == 1);
static_assert(COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND_DIRECTORY == 1);
static_assert(COREWEBVIEW2_CAPTURE_PREVIEW_IMAGE_FORMAT_JPEG == 1);
static_assert(sizeof(COREWEBVIEW2_PROCESS_FAILED_KIND) == 4);
static_assert(sizeof(COREWEBVIEW2_PROCESS_FAILED_REASON) == 4);
static_assert(sizeof(COREWEBVIEW2_WEB_ERROR_STATUS) == 4);
static_assert(sizeof(COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND) == 4);
static_assert(COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED == 0);
static_assert(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_EXITED == 1);
static_assert(COREWEBVIEW2_PROCESS_FAILED_KIND_RENDER_PROCESS_UNRESPONSIVE == 2);
static_assert(COREWEBVIEW2_PROCESS_FAILED_KIND_FRAME_RENDER_PROCESS_EXITED == 3);
static_assert(COREWEBVIEW2_PROCESS_FAILED_KIND_GPU_PROCESS_EXITED == 6);
static_assert(COREWEBVIEW2_PROCESS_FAILED_KIND_UNKNOWN_PROCESS_EXITED == 9);
static_assert(COREWEBVIEW2_PROCESS_FAILED_REASON_CRASHED == 3);
static_assert(COREWEBVIEW2_PROCESS_FAILED_REASON_PROFILE_DELETED == 6);
static_assert(COREWEBVIEW2_WEB_ERROR_STATUS_CONNECTION_ABORTED == 9);
static_assert(COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED == 14);
static_assert(COREWEBVIEW2_WEB_ERROR_STATUS_VALID_PROXY_AUTHENTICATION_REQUIRED == 18);
static_assert(COREWEBVIEW2_BROWSER_PROCESS_EXIT_KIND_FAILED == 1);
static_assert(sizeof(COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS) == 4);
static_assert(COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_NONE == 0);
static_assert(COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_DOCUMENT == 1);
static_assert(COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_SHARED_WORKER == 2);
static_assert(COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_SERVICE_WORKER == 4);
static_assert(COREWEBVIEW2_WEB_RESOURCE_REQUEST_SOURCE_KINDS_ALL == 0xffffffffu);

// Structs.
static_assert(sizeof(COREWEBVIEW2_PHYSICAL_KEY_STATUS) == 24);
static_assert(alignof(COREWEBVIEW2_PHYSICAL_KEY_STATUS) == 4);
static_assert(offsetof(COREWEBVIEW2_PHYSICAL_KEY_STATUS, RepeatCount) == 0);
static_assert(offsetof(COREWEBVIEW2_PHYSICAL_KEY_STATUS, ScanCode) == 4);
static_assert(offsetof(COREWEBVIEW2_PHYSICAL_KEY_STATUS, IsExtendedKey) == 8);
static_assert(offsetof(COREWEBVIEW2_PHYSICAL_KEY_STATUS, IsMenuKeyDown) == 12);
static_assert(offsetof(COREWEBVIEW2_PHYSICAL_KEY_STATUS, WasKeyDown) == 16);
static_assert(offsetof(COREWEBVIEW2_PHYSICAL_KEY_STATUS, IsKeyReleased) == 20);
static_assert(sizeof(EventRegistrationToken) == 8);
static_assert(std::is_same_v<decltype(EventRegistrationToken::value), INT64>);
static_assert(sizeof(RECT) == 16);

}  // namespace
