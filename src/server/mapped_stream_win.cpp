#include "server/mapped_stream_win.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "webview/com_object_win.h"

namespace {

// CopyTo hands the destination at most this much per Write.
constexpr std::uint64_t kCopyChunk = 1024 * 1024;

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

class MappedStream final : public ComObject<IStream, IAgileObject> {
public:
    MappedStream(std::shared_ptr<const SharedMapping> mapping, const std::uint8_t* bytes,
                 std::uint64_t size, std::wstring name, std::uint64_t position)
        : mapping_(std::move(mapping)),
          bytes_(bytes),
          size_(size),
          name_(std::move(name)),
          position_(position) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(ISequentialStream) ||
            riid == __uuidof(IStream)) {
            *object = static_cast<IStream*>(this);
        } else if (riid == __uuidof(IAgileObject)) {
            *object = static_cast<IAgileObject*>(this);
        } else if (riid == __uuidof(IMarshal)) {
            IUnknown* marshaler = Marshaler();
            return marshaler != nullptr ? marshaler->QueryInterface(riid, object) : E_NOINTERFACE;
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG wanted, ULONG* read) override {
        if (read != nullptr) *read = 0;
        if (buffer == nullptr) return STG_E_INVALIDPOINTER;
        ULONG count = 0;
        {
            ExclusiveLock hold(lock_);
            if (position_ >= size_) return S_FALSE;  // nothing can be read from here
            count = static_cast<ULONG>(std::min<std::uint64_t>(wanted, size_ - position_));
            std::memcpy(buffer, bytes_ + position_, count);
            position_ += count;
        }
        if (read != nullptr) *read = count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
        if (written != nullptr) *written = 0;
        return STG_E_ACCESSDENIED;
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newPosition) override {
        ExclusiveLock hold(lock_);
        std::uint64_t base = 0;
        switch (origin) {
            case STREAM_SEEK_SET:
                break;
            case STREAM_SEEK_CUR:
                base = position_;
                break;
            case STREAM_SEEK_END:
                base = size_;
                break;
            default:
                return STG_E_INVALIDFUNCTION;
        }
        // From the start the distance is unsigned; from elsewhere it is signed, and a move before
        // the start, or beyond what a position can hold, is refused (the sum wraps around).
        const std::uint64_t target = base + static_cast<std::uint64_t>(move.QuadPart);
        if (origin != STREAM_SEEK_SET && (move.QuadPart < 0 ? target > base : target < base)) {
            return STG_E_INVALIDFUNCTION;
        }
        position_ = target;
        if (newPosition != nullptr) newPosition->QuadPart = position_;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }

    HRESULT STDMETHODCALLTYPE CopyTo(IStream* destination, ULARGE_INTEGER wanted,
                                     ULARGE_INTEGER* read, ULARGE_INTEGER* written) override {
        if (read != nullptr) read->QuadPart = 0;
        if (written != nullptr) written->QuadPart = 0;
        if (destination == nullptr) return STG_E_INVALIDPOINTER;
        std::uint64_t start = 0;
        std::uint64_t available = 0;
        {
            ExclusiveLock hold(lock_);
            start = position_;
            available =
                position_ < size_ ? std::min<std::uint64_t>(wanted.QuadPart, size_ - position_) : 0;
        }
        // The destination is called without the lock held: it may be a clone of this stream.
        std::uint64_t taken = 0;
        std::uint64_t put = 0;
        HRESULT result = S_OK;
        while (taken < available) {
            const auto chunk = static_cast<ULONG>(std::min(kCopyChunk, available - taken));
            ULONG chunkWritten = 0;
            result = destination->Write(bytes_ + start + taken, chunk, &chunkWritten);
            taken += chunk;
            put += chunkWritten;
            if (FAILED(result) || chunkWritten < chunk) break;
        }
        {
            ExclusiveLock hold(lock_);
            position_ = start + taken;
        }
        if (read != nullptr) read->QuadPart = taken;
        if (written != nullptr) written->QuadPart = put;
        return FAILED(result) ? result : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flag) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        if (flag != STATFLAG_DEFAULT && flag != STATFLAG_NONAME) return STG_E_INVALIDFLAG;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = size_;
        stat->grfMode = STGM_READ;
        if (flag == STATFLAG_DEFAULT && !name_.empty()) {
            const std::size_t bytes = (name_.size() + 1) * sizeof(wchar_t);
            stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            if (stat->pwcsName == nullptr) return STG_E_INSUFFICIENTMEMORY;
            std::memcpy(stat->pwcsName, name_.c_str(), bytes);
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override {
        if (clone == nullptr) return STG_E_INVALIDPOINTER;
        *clone = nullptr;
        std::uint64_t position = 0;
        {
            ExclusiveLock hold(lock_);
            position = position_;
        }
        try {
            auto* copy = new MappedStream(mapping_, bytes_, size_, name_, position);
            copy->AddRef();
            *clone = copy;
            return S_OK;
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
    }

private:
    ~MappedStream() override {
        if (IUnknown* marshaler = marshaler_.load()) marshaler->Release();
    }

    // The free-threaded marshaler, aggregated on first demand: marshaling this stream into
    // another apartment of the process hands over the pointer itself.
    IUnknown* Marshaler() {
        IUnknown* current = marshaler_.load();
        if (current != nullptr) return current;
        IUnknown* created = nullptr;
        if (FAILED(CoCreateFreeThreadedMarshaler(static_cast<IStream*>(this), &created)) ||
            created == nullptr) {
            return nullptr;
        }
        if (!marshaler_.compare_exchange_strong(current, created)) {
            created->Release();  // another thread was first
            return current;
        }
        return created;
    }

    const std::shared_ptr<const SharedMapping> mapping_;  // keeps bytes_ valid
    const std::uint8_t* const bytes_;
    const std::uint64_t size_;
    const std::wstring name_;
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::uint64_t position_;  // guarded by lock_
    std::atomic<IUnknown*> marshaler_{nullptr};
};

}  // namespace

Microsoft::WRL::ComPtr<IStream> NewMappedStream(std::shared_ptr<const SharedMapping> mapping,
                                                std::uint64_t offset, std::uint64_t count,
                                                std::wstring name) noexcept {
    Microsoft::WRL::ComPtr<IStream> stream;
    if (mapping == nullptr || !mapping->Holds(offset, count)) return stream;
    try {
        const std::uint8_t* bytes = mapping->View() + offset;
        stream = new MappedStream(std::move(mapping), bytes, count, std::move(name), 0);
    } catch (const std::bad_alloc&) {
        stream.Reset();
    }
    return stream;
}
