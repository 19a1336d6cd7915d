// A small reference-counting base for the COM objects the host implements, and the callback
// objects that forward a WebView2 completion or event to a member function of the host.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <tuple>

template <typename... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid == __uuidof(IUnknown)) {
            *object = static_cast<IUnknown*>(static_cast<std::tuple_element_t<0, std::tuple<Interfaces...>>*>(this));
        } else {
            ((riid == __uuidof(Interfaces) ? (*object = static_cast<Interfaces*>(this), true)
                                           : false) ||
             ...);
        }
        if (*object == nullptr) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG remaining = --references_;
        if (remaining == 0) delete this;
        return remaining;
    }

protected:
    virtual ~ComObject() = default;

private:
    // Starts at 0: the first owner (a ComPtr made from the new object) takes the first reference.
    std::atomic<ULONG> references_{0};
};

// Forwards Invoke(a, b) to (host->*Method)(a, b), unless the host has stopped taking events (a
// host with EventsStopped()). Nothing thrown inside reaches the caller, and the runtime always
// hears S_OK: a handler's failure is the host's own business.
template <typename Host, typename Interface, typename A, typename B, HRESULT (Host::*Method)(A, B)>
class HostCallback final : public ComObject<Interface> {
public:
    explicit HostCallback(Host* host) : host_(host) {}
    HRESULT STDMETHODCALLTYPE Invoke(A a, B b) override {
        if constexpr (requires(const Host& host) { host.EventsStopped(); }) {
            if (host_->EventsStopped()) return S_OK;
        }
        try {
            (host_->*Method)(a, b);
        } catch (...) {
        }
        return S_OK;
    }

private:
    Host* host_;  // not owned; outlives every callback
};

template <typename M>
struct MethodTraits;
template <typename H, typename A, typename B>
struct MethodTraits<HRESULT (H::*)(A, B)> {
    using Host = H;
    using First = A;
    using Second = B;
};

// A new callback object for `Interface` that forwards to `Method` of `host`; the caller's pointer
// holds the first reference.
template <typename Interface, auto Method>
Interface* NewCallback(typename MethodTraits<decltype(Method)>::Host* host) {
    using Traits = MethodTraits<decltype(Method)>;
    return new HostCallback<typename Traits::Host, Interface, typename Traits::First,
                            typename Traits::Second, Method>(host);
}
