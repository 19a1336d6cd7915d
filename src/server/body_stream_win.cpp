#include "server/body_stream_win.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "webview/com_object_win.h"

namespace {

// CopyTo moves at most this much per read of the source and Write of the destination.
constexpr std::uint64_t kCopyChunk = 256 * 1024;

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

class BodyStream final : public ComObject<IStream, IAgileObject> {
public:
    // A new stream with its marshaler, holding the caller's first reference; null when either
    // cannot be had.
    static Microsoft::WRL::ComPtr<IStream> Make(std::shared_ptr<const ByteSource> source,
                                                std::uint64_t offset, std::uint64_t size,
                                                std::wstring name,
                                                std::uint64_t position) noexcept {
        Microsoft::WRL::ComPtr<IStream> stream;
        try {
            auto* made = new BodyStream(std::move(source), offset, size, std::move(name), position);
            stream = made;
            // Aggregated now, so that the set of interfaces the stream answers never changes.
            if (FAILED(CoCreateFreeThreadedMarshaler(static_cast<IStream*>(made),
                                                     &made->marshaler_)) ||
                made->marshaler_ == nullptr) {
                stream.Reset();
            }
        } catch (...) {
            stream.Reset();
        }
        return stream;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (riid == __uuidof(IUnknown) || riid == __uuidof(ISequentialStream) ||
            riid == __uuidof(IStream)) {
            *object = static_cast<IStream*>(this);
        } else if (riid == __uuidof(IAgileObject)) {
            *object = static_cast<IAgileObject*>(this);
        } else if (riid == __uuidof(IMarshal)) {
            // Marshaling into another apartment of the process hands over the pointer itself.
            return marshaler_->QueryInterface(riid, object);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG wanted, ULONG* read) override {
        if (read != nullptr) *read = 0;
        if (buffer == nullptr) return STG_E_INVALIDPOINTER;
        ExclusiveLock hold(lock_);
        if (position_ >= size_) return S_FALSE;  // nothing can be read from here
        const auto count = static_cast<ULONG>(std::min<std::uint64_t>(wanted, size_ - position_));
        if (count > 0 && !source_->ReadAt(offset_ + position_, buffer, count)) {
            return STG_E_READFAULT;
        }
        position_ += count;
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
        // Each chunk is read and the position moved under the lock, as by Read; the destination
        // is written without it, so that a destination that calls back into this stream (its
        // position, its size, a seek) goes on instead of waiting for itself. A Seek from another
        // thread between two chunks moves where the next one is read from.
        std::uint64_t chunkSize = 0;
        {
            ExclusiveLock hold(lock_);
            const std::uint64_t available =
                position_ < size_ ? std::min<std::uint64_t>(wanted.QuadPart, size_ - position_) : 0;
            chunkSize = std::min(kCopyChunk, available);
        }
        std::vector<std::uint8_t> buffer;
        try {
            buffer.resize(static_cast<std::size_t>(chunkSize));
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        std::uint64_t taken = 0;
        std::uint64_t put = 0;
        HRESULT result = S_OK;
        while (taken < wanted.QuadPart) {
            ULONG chunk = 0;
            {
                ExclusiveLock hold(lock_);
                if (position_ >= size_) break;
                chunk = static_cast<ULONG>(std::min<std::uint64_t>(
                    {buffer.size(), wanted.QuadPart - taken, size_ - position_}));
                if (chunk == 0) break;
                if (!source_->ReadAt(offset_ + position_, buffer.data(), chunk)) {
                    result = STG_E_READFAULT;
                    break;
                }
                position_ += chunk;
            }
            taken += chunk;
            ULONG chunkWritten = 0;
            result = destination->Write(buffer.data(), chunk, &chunkWritten);
            put += chunkWritten;
            if (FAILED(result) || chunkWritten < chunk) break;
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
        Microsoft::WRL::ComPtr<IStream> copy = Make(source_, offset_, size_, name_, position);
        if (copy == nullptr) return STG_E_INSUFFICIENTMEMORY;
        *clone = copy.Detach();
        return S_OK;
    }

private:
    BodyStream(std::shared_ptr<const ByteSource> source, std::uint64_t offset, std::uint64_t size,
               std::wstring name, std::uint64_t position)
        : source_(std::move(source)),
          offset_(offset),
          size_(size),
          name_(std::move(name)),
          position_(position) {}

    ~BodyStream() override {
        if (marshaler_ != nullptr) marshaler_->Release();
    }

    const std::shared_ptr<const ByteSource> source_;
    const std::uint64_t offset_;  // of the stream's first byte in the source
    const std::uint64_t size_;
    const std::wstring name_;
    IUnknown* marshaler_ = nullptr;  // the aggregated free-threaded marshaler; set once, at making
    SRWLOCK lock_ = SRWLOCK_INIT;
    std::uint64_t position_;  // guarded by lock_
};

}  // namespace

Microsoft::WRL::ComPtr<IStream> NewBodyStream(std::shared_ptr<const ByteSource> source,
                                              std::uint64_t offset, std::uint64_t count,
                                              std::wstring name) noexcept {
    if (source == nullptr || !source->Holds(offset, count)) return nullptr;
    return BodyStream::Make(std::move(source), offset, count, std::move(name), 0);
}
