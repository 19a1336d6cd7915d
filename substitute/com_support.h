// Shared plumbing of the substitute's COM objects: reference counting and interface queries,
// exception guards for COM methods, event-handler lists, and UTF-8/UTF-16 helpers.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <array>
#include <atomic>
#include <cstddef>
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
// new object in a ComPtr at once.
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
    ComObject() = default;
    virtual ~ComObject() = default;
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
};

// A placeholder slot of an interface chain: the method exists only to keep later slots right.
#define SUBSTITUTE_UNUSED_SLOT(Method) \
    HRESULT STDMETHODCALLTYPE Method() override { return E_NOTIMPL; }

// Registration tokens are unique across all events of the process.
INT64 NextEventToken();

// The handlers registered for one event, in registration order.
template <typename Handler>
class EventHandlers {
  public:
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

    // Calls every handler registered when the event starts (a handler may remove itself) and
    // returns their results in order. A handler that throws counts as E_UNEXPECTED.
    template <typename Sender, typename Args>
    std::vector<HRESULT> Invoke(Sender* sender, Args* args) const {
        std::vector<ComPtr<Handler>> current;
        for (const auto& entry : entries_) current.push_back(entry.second);
        std::vector<HRESULT> results;
        for (const auto& handler : current) {
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
    std::vector<std::pair<INT64, ComPtr<Handler>>> entries_;
};

}  // namespace substitute
