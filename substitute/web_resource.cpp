#include "web_resource.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

#include "event_args.h"
#include "sha256.h"

namespace substitute {
namespace {

constexpr std::size_t kSmallBody = 4096;  // bodies up to this size are written out in full

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool IsValidUtf8(const std::string& bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t extra = 0;
        unsigned minimum = 0;
        unsigned codePoint = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, minimum = 0x80, codePoint = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, minimum = 0x800, codePoint = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, minimum = 0x10000, codePoint = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string Hex(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kHex[c >> 4];
        hex += kHex[c & 0xF];
    }
    return hex;
}

constexpr std::size_t kTail = 32;  // the last bytes of a longer body are written out as hex

// The most memory the reader has held for one body at once, over the process.
std::atomic<std::uint64_t> readerPeak{0};

// Reads a body in the runtime's manner: the stream is sought to its start, then read to its end
// into memory, and only then looked at. The line keeps the length, the hash, the head and the
// last bytes; the first `keep` bytes go to `kept`.
Json ReadBody(IStream* stream, bool hashBody, std::uint64_t keep, std::string* kept) {
    std::string whole;
    HRESULT result = stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    constexpr std::size_t kChunk = 64 * 1024;
    STATSTG stat{};
    if (SUCCEEDED(result) && SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) &&
        stat.cbSize.QuadPart < std::numeric_limits<std::size_t>::max() - kChunk)
        whole.reserve(static_cast<std::size_t>(stat.cbSize.QuadPart) + kChunk);
    while (SUCCEEDED(result)) {
        const std::size_t at = whole.size();
        if (whole.capacity() < at + kChunk)
            whole.reserve(std::max(whole.capacity() * 2, at + kChunk));
        whole.resize(at + kChunk);
        ULONG read = 0;
        result = stream->Read(whole.data() + at, static_cast<ULONG>(kChunk), &read);
        whole.resize(at + (SUCCEEDED(result) ? read : 0));
        std::uint64_t peak = readerPeak.load();
        while (whole.capacity() > peak &&
               !readerPeak.compare_exchange_weak(peak, whole.capacity())) {
        }
        if (FAILED(result) || read == 0) break;
    }
    const std::uint64_t length = whole.size();
    Json body;
    body["length"] = length;
    if (hashBody) {
        Sha256 hash;
        hash.Update(whole.data(), whole.size());
        body["sha256"] = hash.FinishHex();
    } else {
        body["sha256"] = nullptr;
    }
    if (length <= kSmallBody) {
        if (IsValidUtf8(whole)) {
            body["text"] = whole;
        } else {
            body["hex"] = Hex(whole);
        }
    } else {
        body["tail"] = Hex(whole.substr(whole.size() - kTail));
    }
    if (FAILED(result)) body["readError"] = HResultText(result);
    if (kept != nullptr) {
        if (keep >= whole.size()) {
            *kept = std::move(whole);
        } else {
            kept->assign(whole, 0, keep);
        }
    }
    return body;
}

// What the reader found in a body.
struct BodyRead {
    Json body;
    bool agile = false;  // the reader got the host's own object back, not a proxy
    std::string kept;    // the body's first bytes, as many as were asked for
};

// Reads response bodies as the runtime does. The stream the host set is registered in the global
// interface table on the runtime's thread; one long-lived thread in the multithreaded apartment
// takes it out of the table, seeks it to its start and reads it whole into memory, while the
// runtime's thread goes on pumping. An agile stream (free-threaded marshaler) comes back as the
// host's own object; any other comes back as a proxy whose every call waits for the runtime's
// thread to pump. Bodies are read one at a time, in the order they were set.
class BodyReader {
public:
    static BodyReader& Get() {
        static BodyReader* reader = new BodyReader();  // process lifetime, like its thread
        return *reader;
    }

    // On the runtime's thread; `done` runs there too, through the dispatcher.
    void Read(IStream* stream, bool hashBody, std::uint64_t keep,
              std::chrono::steady_clock::time_point answered, std::function<void(BodyRead)> done) {
        HRESULT result = S_OK;
        if (!table_) {
            result = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&table_));
        }
        DWORD cookie = 0;
        if (SUCCEEDED(result))
            result = table_->RegisterInterfaceInGlobal(stream, IID_IStream, &cookie);
        if (FAILED(result)) {
            done(BodyRead{FailedBody(result), false, {}});
            return;
        }
        const std::uint64_t id = nextId_++;
        pending_.emplace(id, Pending{cookie, std::move(done)});
        {
            const std::lock_guard lock(mutex_);
            jobs_.push_back(Job{id, cookie, stream, hashBody, keep, answered});
            if (!started_) {
                started_ = true;
                std::thread([this] { Run(); }).detach();
            }
        }
        wake_.notify_one();
    }

private:
    struct Job {
        std::uint64_t id;
        DWORD cookie;
        const IStream* registered;  // compared with what comes out of the table, never called
        bool hashBody;
        std::uint64_t keep;
        std::chrono::steady_clock::time_point answered;  // when the host's answer was taken
    };
    struct Pending {
        DWORD cookie;
        std::function<void(BodyRead)> done;
    };

    BodyReader() = default;

    static Json FailedBody(HRESULT result) {
        return Json{{"length", 0}, {"sha256", nullptr}, {"readError", HResultText(result)}};
    }

    void Run() noexcept {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ComPtr<IGlobalInterfaceTable> table;
        const HRESULT created = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr,
                                                 CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&table));
        for (;;) {
            Job job{};
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !jobs_.empty(); });
                job = jobs_.front();
                jobs_.pop_front();
            }
            BodyRead read;
            try {
                ComPtr<IStream> stream;
                const HRESULT result = FAILED(created) ? created
                                                       : table->GetInterfaceFromGlobal(
                                                             job.cookie, IID_PPV_ARGS(&stream));
                if (SUCCEEDED(result) && stream) {
                    read.agile = stream.Get() == job.registered;
                    read.body = ReadBody(stream.Get(), job.hashBody, job.keep, &read.kept);
                    read.body["readMs"] = std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - job.answered)
                                              .count();
                } else {
                    read.body = FailedBody(FAILED(result) ? result : E_NOINTERFACE);
                }
            } catch (...) {
                read.body = FailedBody(E_OUTOFMEMORY);
            }
            try {
                Dispatcher::Get().Post([this, id = job.id, read = std::move(read)]() mutable {
                    Finish(id, std::move(read));
                });
            } catch (...) {
            }
        }
    }

    // On the runtime's thread: the table lets the stream go, then the line is written.
    void Finish(std::uint64_t id, BodyRead read) {
        const auto found = pending_.find(id);
        if (found == pending_.end()) return;
        Pending pending = std::move(found->second);
        pending_.erase(found);
        table_->RevokeInterfaceFromGlobal(pending.cookie);
        pending.done(std::move(read));
    }

    ComPtr<IGlobalInterfaceTable> table_;       // the runtime thread's
    std::map<std::uint64_t, Pending> pending_;  // the runtime thread's
    std::uint64_t nextId_ = 1;
    std::mutex mutex_;  // guards jobs_ and started_
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool started_ = false;
};

}  // namespace

HttpHeader MakeHeader(std::string name, std::string value) {
    std::string line = name + ": " + value;
    return HttpHeader{std::move(name), std::move(value), std::move(line)};
}

HttpHeaderList ParseHeaderLines(const std::string& text) {
    HttpHeaderList headers;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) {
            const std::size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            std::string value;
            if (colon != std::string::npos) {
                value = line.substr(colon + 1);
                value.erase(0, value.find_first_not_of(" \t") == std::string::npos
                                   ? value.size()
                                   : value.find_first_not_of(" \t"));
            }
            headers.push_back(HttpHeader{std::move(name), std::move(value), std::move(line)});
        }
        start = end + 1;
    }
    return headers;
}

HRESULT HeaderIterator::GetCurrentHeader(LPWSTR* name, LPWSTR* value) {
    return Call(__func__, [&] {
        if (name == nullptr || value == nullptr) return E_POINTER;
        *name = nullptr;
        *value = nullptr;
        if (position_ >= headers_.size()) return E_INVALIDARG;
        const HRESULT result = CopyOut(headers_[position_].name, name);
        if (FAILED(result)) return result;
        return CopyOut(headers_[position_].value, value);
    });
}

HRESULT HeaderIterator::get_HasCurrentHeader(BOOL* hasCurrent) {
    return Call(__func__, [&] { return Put<BOOL>(hasCurrent, position_ < headers_.size()); });
}

HRESULT HeaderIterator::MoveNext(BOOL* hasNext) {
    return Call(__func__, [&] {
        if (position_ < headers_.size()) ++position_;
        return Put<BOOL>(hasNext, position_ < headers_.size());
    });
}

const HttpHeader* HeaderStore::Find(const wchar_t* name) const {
    const std::string wanted = ToUtf8(name);
    for (const HttpHeader& header : headers) {
        if (SameNameIgnoringCase(header.name, wanted)) return &header;
    }
    return nullptr;
}

HRESULT HeaderStore::GetHeader(LPCWSTR name, LPWSTR* value) const {
    return Guard([&] {
        if (value == nullptr) return E_POINTER;
        *value = nullptr;
        const HttpHeader* header = Find(name);
        if (header == nullptr) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        return CopyOut(header->value, value);
    });
}

HRESULT HeaderStore::GetHeaders(LPCWSTR name,
                                ICoreWebView2HttpHeadersCollectionIterator** value) const {
    return Guard([&] {
        if (value == nullptr) return E_POINTER;
        const std::string wanted = ToUtf8(name);
        HttpHeaderList matching;
        for (const HttpHeader& header : headers) {
            if (SameNameIgnoringCase(header.name, wanted)) matching.push_back(header);
        }
        return PutRef(value, ComPtr<HeaderIterator>(new HeaderIterator(std::move(matching))));
    });
}

HRESULT HeaderStore::Contains(LPCWSTR name, BOOL* value) const {
    return Guard([&] { return Put<BOOL>(value, Find(name) != nullptr); });
}

HRESULT HeaderStore::GetIterator(ICoreWebView2HttpHeadersCollectionIterator** value) const {
    return Guard(
        [&] { return PutRef(value, ComPtr<HeaderIterator>(new HeaderIterator(headers))); });
}

HRESULT RequestHeaders::GetHeader(LPCWSTR name, LPWSTR* value) {
    return Call(__func__, [&] { return store_.GetHeader(name, value); });
}
HRESULT RequestHeaders::GetHeaders(LPCWSTR name,
                                   ICoreWebView2HttpHeadersCollectionIterator** value) {
    return Call(__func__, [&] { return store_.GetHeaders(name, value); });
}
HRESULT RequestHeaders::Contains(LPCWSTR name, BOOL* value) {
    return Call(__func__, [&] { return store_.Contains(name, value); });
}
HRESULT RequestHeaders::GetIterator(ICoreWebView2HttpHeadersCollectionIterator** value) {
    return Call(__func__, [&] { return store_.GetIterator(value); });
}

HRESULT RequestHeaders::SetHeader(LPCWSTR name, LPCWSTR value) {
    return Call(__func__, [&] {
        if (name == nullptr) return E_INVALIDARG;
        for (HttpHeader& header : store_.headers) {
            if (SameNameIgnoringCase(header.name, ToUtf8(name))) {
                header = MakeHeader(header.name, ToUtf8(value));
                return S_OK;
            }
        }
        store_.headers.push_back(MakeHeader(ToUtf8(name), ToUtf8(value)));
        return S_OK;
    });
}

HRESULT RequestHeaders::RemoveHeader(LPCWSTR name) {
    return Call(__func__, [&] {
        const std::string wanted = ToUtf8(name);
        std::erase_if(store_.headers, [&](const HttpHeader& header) {
            return SameNameIgnoringCase(header.name, wanted);
        });
        return S_OK;
    });
}

HRESULT ResponseHeaders::AppendHeader(LPCWSTR name, LPCWSTR value) {
    return Call(__func__, [&] {
        if (name == nullptr) return E_INVALIDARG;
        store_.headers.push_back(MakeHeader(ToUtf8(name), ToUtf8(value)));
        return S_OK;
    });
}
HRESULT ResponseHeaders::Contains(LPCWSTR name, BOOL* value) {
    return Call(__func__, [&] { return store_.Contains(name, value); });
}
HRESULT ResponseHeaders::GetHeader(LPCWSTR name, LPWSTR* value) {
    return Call(__func__, [&] { return store_.GetHeader(name, value); });
}
HRESULT ResponseHeaders::GetHeaders(LPCWSTR name,
                                    ICoreWebView2HttpHeadersCollectionIterator** value) {
    return Call(__func__, [&] { return store_.GetHeaders(name, value); });
}
HRESULT ResponseHeaders::GetIterator(ICoreWebView2HttpHeadersCollectionIterator** value) {
    return Call(__func__, [&] { return store_.GetIterator(value); });
}

WebResourceRequest::WebResourceRequest(std::string uri, std::string method, HttpHeaderList headers)
    : ComObject("request"),
      uri_(std::move(uri)),
      method_(std::move(method)),
      headers_(new RequestHeaders(std::move(headers))) {}

HRESULT WebResourceRequest::get_Uri(LPWSTR* uri) {
    return Call(__func__, [&] { return CopyOut(uri_, uri); });
}
HRESULT WebResourceRequest::put_Uri(LPCWSTR uri) {
    return Call(__func__, [&] {
        uri_ = ToUtf8(uri);
        return S_OK;
    });
}
HRESULT WebResourceRequest::get_Method(LPWSTR* method) {
    return Call(__func__, [&] { return CopyOut(method_, method); });
}
HRESULT WebResourceRequest::put_Method(LPCWSTR method) {
    return Call(__func__, [&] {
        method_ = ToUtf8(method);
        return S_OK;
    });
}
HRESULT WebResourceRequest::get_Content(IStream** content) {
    return Call(__func__, [&] { return PutRef(content, content_); });
}
HRESULT WebResourceRequest::put_Content(IStream* content) {
    return Call(__func__, [&] {
        content_ = content;
        return S_OK;
    });
}
HRESULT WebResourceRequest::get_Headers(ICoreWebView2HttpRequestHeaders** headers) {
    return Call(__func__, [&] { return PutRef(headers, headers_); });
}

WebResourceResponse::WebResourceResponse(IStream* content, int status, std::string reason,
                                         HttpHeaderList headers)
    : ComObject("response"),
      content_(content),
      status_(status),
      reason_(std::move(reason)),
      headers_(new ResponseHeaders(std::move(headers))) {}

HRESULT WebResourceResponse::get_Content(IStream** content) {
    return Call(__func__, [&] { return PutRef(content, content_); });
}
HRESULT WebResourceResponse::put_Content(IStream* content) {
    return Call(__func__, [&] {
        content_ = content;
        return S_OK;
    });
}
HRESULT WebResourceResponse::get_Headers(ICoreWebView2HttpResponseHeaders** headers) {
    return Call(__func__, [&] { return PutRef(headers, headers_); });
}
HRESULT WebResourceResponse::get_StatusCode(int* statusCode) {
    return Call(__func__, [&] { return Put(statusCode, status_); });
}
HRESULT WebResourceResponse::put_StatusCode(int statusCode) {
    return Call(__func__, [&] {
        status_ = statusCode;
        return S_OK;
    });
}
HRESULT WebResourceResponse::get_ReasonPhrase(LPWSTR* reasonPhrase) {
    return Call(__func__, [&] { return CopyOut(reason_, reasonPhrase); });
}
HRESULT WebResourceResponse::put_ReasonPhrase(LPCWSTR reasonPhrase) {
    return Call(__func__, [&] {
        reason_ = ToUtf8(reasonPhrase);
        return S_OK;
    });
}

HRESULT WebResourceRequestedArgs::get_Request(ICoreWebView2WebResourceRequest** request) {
    return Call(__func__, [&] { return PutRef(request, request_); });
}
HRESULT WebResourceRequestedArgs::get_Response(ICoreWebView2WebResourceResponse** response) {
    return Call(__func__, [&] { return PutRef(response, response_); });
}
HRESULT WebResourceRequestedArgs::put_Response(ICoreWebView2WebResourceResponse* response) {
    return Call(__func__, [&] {
        response_ = response;
        return S_OK;
    });
}
HRESULT WebResourceRequestedArgs::GetDeferral(ICoreWebView2Deferral** deferral) {
    return Call(__func__, [&] { return RefuseDeferral("resource-request", deferral); });
}
HRESULT WebResourceRequestedArgs::get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) {
    return Call(__func__, [&] { return Put(context, context_); });
}

void RecordResponse(Json request, ICoreWebView2WebResourceResponse* response, bool hashBody,
                    std::uint64_t keepBody, ResponseDone done) {
    const auto answered = std::chrono::steady_clock::now();
    PageResponse answer;
    ComPtr<IStream> content;
    try {
        if (response == nullptr) {
            request["cause"] = "no-response";
            Record("unanswered", std::move(request));
            return done(std::nullopt);
        }
        int status = 0;
        response->get_StatusCode(&status);
        LPWSTR reasonText = nullptr;
        TakeString(response->get_ReasonPhrase(&reasonText), reasonText, answer.reason);
        answer.status = status;
        ComPtr<ICoreWebView2HttpResponseHeaders> headerCollection;
        ComPtr<ICoreWebView2HttpHeadersCollectionIterator> iterator;
        if (SUCCEEDED(response->get_Headers(&headerCollection)) && headerCollection &&
            SUCCEEDED(headerCollection->GetIterator(&iterator)) && iterator) {
            auto* ours = dynamic_cast<ResponseHeaders*>(headerCollection.Get());
            if (ours != nullptr) {
                for (const HttpHeader& header : ours->Headers())
                    answer.headerLines.push_back(header.line);
            } else {
                BOOL has = FALSE;
                while (SUCCEEDED(iterator->get_HasCurrentHeader(&has)) && has) {
                    LPWSTR name = nullptr;
                    LPWSTR value = nullptr;
                    if (FAILED(iterator->GetCurrentHeader(&name, &value))) break;
                    std::string nameText, valueText;
                    TakeString(S_OK, name, nameText);
                    TakeString(S_OK, value, valueText);
                    answer.headerLines.push_back(nameText + ": " + valueText);
                    BOOL next = FALSE;
                    if (FAILED(iterator->MoveNext(&next))) break;
                }
            }
        }
        request["status"] = status;
        request["reason"] = answer.reason;
        request["headers"] = answer.headerLines;
        response->get_Content(&content);
    } catch (...) {
        Record("failure", Json{{"message", "could not record a response"}});
        return done(std::nullopt);
    }
    auto finish = [line = std::move(request), answer = std::move(answer), done = std::move(done)](
                      Json body, Json agile, std::string kept) mutable {
        if (body.is_object()) answer.bodyLength = body.value("length", std::uint64_t{0});
        answer.body = std::move(kept);
        line["body"] = std::move(body);
        line["bodyAgile"] = std::move(agile);
        line["readerPeak"] = readerPeak.load();
        Record("response", std::move(line));
        done(std::move(answer));
    };
    if (!content) return finish(nullptr, nullptr, {});
    BodyReader::Get().Read(content.Get(), hashBody, keepBody, answered,
                           [finish = std::move(finish)](BodyRead read) mutable {
                               finish(std::move(read.body), read.agile, std::move(read.kept));
                           });
}

}  // namespace substitute
