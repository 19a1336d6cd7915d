// Shared plumbing of the substitute's COM objects: reference counting and interface queries,
// the gate every COM method passes (thread, closed controller, exceptions), event-handler lists,
// the callback scope, and UTF-8/UTF-16 helpers.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "webview/webview2_declarations.h"

namespace substitute {

using Microsoft::WRL::ComPtr;

std::string ToUtf8(std::wstring_view text);
std::wstring ToUtf16(std::string_view text);
// UTF-8 text of a nullable wide string; null reads as "".
std::string ToUtf8(const wchar_t* text);
// A CoTaskMemAlloc copy for an out-string; E_POINTER / E_OUTOFMEMORY as COM callers expect.
HRESULT CopyOut(std::string_view utf8, LPWSTR* out);
HRESULT CopyOut(std::wstring_view text, LPWSTR* out);
// Reads an out-string from the host after `result` came back (freeing it); false when the
// call failed. `text` is taken by reference so that it is read after the call filled it.
bool TakeString(HRESULT result, LPWSTR& text, std::string& utf8);

// Runs a COM method body; no exception leaves it.
template <typename Body>
HRESULT Guard(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Shared by a controller, its webview and the webview's settings: true once the controller closed.
using ClosedFlag = std::shared_ptr<bool>;

// Where every method of a runtime object starts. A call from any thread but the runtime's own
// (the one that created the environment) is refused with RPC_E_WRONG_THREAD and written to the
// transcript as a "wrongThread" line; a call on an object of a closed controller fails with
// HRESULT_FROM_WIN32(ERROR_INVALID_STATE) ("callAfterClose" line). S_OK: the call may go on.
HRESULT AdmitCall(const char* object, const char* method, const bool* closed) noexcept;

// While a handler of the host runs (an event's handlers, a completion), the dispatcher holds back
// every other callback and records a message loop that the handler runs (see Dispatcher).
class CallbackScope {
public:
    explicit CallbackScope(const char* callback) noexcept;
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

private:
    const char* outer_;  // a callback this one runs inside of (a fault of the runtime), or null
};

template <typename T>
HRESULT Put(T* out, T value) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = value;
    return S_OK;
}

// Hands out a reference through an out-pointer.
template <typename T, typename U>
HRESULT PutRef(T** out, const ComPtr<U>& object) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = object.Get();
    if (*out != nullptr) (*out)->AddRef();
    return S_OK;
}

// Reference counting and QueryInterface for an object whose most derived interface is
// `Interface`; it answers IUnknown and the interfaces of `Answered` (its parent chain, root
// first), of which a runtime switch may cut off the newest ones. Counts start at zero: keep a
// new object in a ComPtr at once. `name` is the object's name in the transcript. The methods of
// IUnknown may be called from any thread (counts are atomic, the answers never change); every
// other method runs its body through Call.
template <typename Interface, typename... Answered>
class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        const bool answered = Answers(riid);
        try {
            OnQueryInterface(riid, answered);
        } catch (...) {
        }
        if (!answered) return E_NOINTERFACE;
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    explicit ComObject(const char* name) : name_(name) {}
    virtual ~ComObject() = default;
    // Runs the body of `method` (pass __func__) once AdmitCall lets the call in; no exception
    // leaves it.
    template <typename Body>
    HRESULT Call(const char* method, Body&& body) noexcept {
        const HRESULT admitted = AdmitCall(name_, method, closed_.get());
        if (FAILED(admitted)) return admitted;
        return Guard(std::forward<Body>(body));
    }
    // The object belongs to a controller: its methods fail once `closed` is set.
    void ShareClosedFlag(ClosedFlag closed) { closed_ = std::move(closed); }
    // Answer only the first `count` interfaces of the chain (an older runtime).
    void LimitInterfaces(std::size_t count) { answeredCount_ = count; }
    virtual void OnQueryInterface(REFIID, bool) {}

private:
    bool Answers(REFIID riid) const {
        if (IsEqualIID(riid, __uuidof(IUnknown))) return true;
        const std::array<const IID*, sizeof...(Answered)> chain{&__uuidof(Answered)...};
        for (std::size_t i = 0; i < answeredCount_ && i < chain.size(); ++i) {
            if (IsEqualIID(riid, *chain[i])) return true;
        }
        return false;
    }

    std::atomic<ULONG> references_{0};
    std::size_t answeredCount_ = sizeof...(Answered);
    const char* name_;
    ClosedFlag closed_;
};

// A placeholder slot of an interface chain: the method exists only to keep later slots right.
#define SUBSTITUTE_UNUSED_SLOT(Method)                  \
    HRESULT STDMETHODCALLTYPE Method() override {       \
        return Call(#Method, [] { return E_NOTIMPL; }); \
    }

// Registration tokens are unique across all events of the process.
INT64 NextEventToken();

// The handlers registered for one event, in registration order.
template <typename Handler>
class EventHandlers {
public:
    explicit EventHandlers(const char* event) : event_(event) {}
    HRESULT Add(Handler* handler, EventRegistrationToken* token) {
        if (handler == nullptr) return E_INVALIDARG;
        if (token == nullptr) return E_POINTER;
        token->value = NextEventToken();
        entries_.emplace_back(token->value, ComPtr<Handler>(handler));
        return S_OK;
    }
    bool Remove(EventRegistrationToken token) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->first == token.value) {
                entries_.erase(it);
                return true;
            }
        }
        return false;
    }
    std::size_t Count() const { return entries_.size(); }
    // Lets every handler go (the controller closed); an event being raised calls no more of them.
    void Clear() {
        entries_.clear();
        ++generation_;
    }

    // Calls every handler registered when the event starts (a handler may remove itself) and
    // returns their results in order. A handler that throws counts as E_UNEXPECTED.
    template <typename Sender, typename Args>
    std::vector<HRESULT> Invoke(Sender* sender, Args* args) const {
        std::vector<ComPtr<Handler>> current;
        for (const auto& entry : entries_) current.push_back(entry.second);
        std::vector<HRESULT> results;
        if (current.empty()) return results;
        const unsigned generation = generation_;
        CallbackScope scope(event_);
        for (const auto& handler : current) {
            if (generation != generation_) break;
            HRESULT result = E_UNEXPECTED;
            try {
                result = handler->Invoke(sender, args);
            } catch (...) {
            }
            results.push_back(result);
        }
        return results;
    }

private:
    const char* event_;
    std::vector<std::pair<INT64, ComPtr<Handler>>> entries_;
    unsigned generation_ = 0;
};

}  // namespace substitute
