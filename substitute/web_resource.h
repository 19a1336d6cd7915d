// Resource requests and responses: the request with its headers, the event arguments the host
// answers, and the response the host builds through the environment.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "com_support.h"
#include "page.h"
#include "runtime.h"

namespace substitute {

struct HttpHeader {
    std::string name;
    std::string value;
    std::string line;  // as the host wrote it, or "name: value"
};
using HttpHeaderList = std::vector<HttpHeader>;

HttpHeader MakeHeader(std::string name, std::string value);
// Header lines separated by "\n" (a "\r" before it is dropped); empty lines are skipped.
HttpHeaderList ParseHeaderLines(const std::string& text);

class HeaderIterator final : public ComObject<ICoreWebView2HttpHeadersCollectionIterator,
                                              ICoreWebView2HttpHeadersCollectionIterator> {
public:
    explicit HeaderIterator(HttpHeaderList headers)
        : ComObject("header-iterator"), headers_(std::move(headers)) {}
    HRESULT STDMETHODCALLTYPE GetCurrentHeader(LPWSTR* name, LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_HasCurrentHeader(BOOL* hasCurrent) override;
    HRESULT STDMETHODCALLTYPE MoveNext(BOOL* hasNext) override;

private:
    HttpHeaderList headers_;
    std::size_t position_ = 0;
};

// Header lookups shared by the request and response collections (names compare without case).
class HeaderStore {
public:
    HttpHeaderList headers;
    const HttpHeader* Find(const wchar_t* name) const;
    HRESULT GetHeader(LPCWSTR name, LPWSTR* value) const;
    HRESULT GetHeaders(LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** value) const;
    HRESULT Contains(LPCWSTR name, BOOL* value) const;
    HRESULT GetIterator(ICoreWebView2HttpHeadersCollectionIterator** value) const;
};

class RequestHeaders final
    : public ComObject<ICoreWebView2HttpRequestHeaders, ICoreWebView2HttpRequestHeaders> {
public:
    explicit RequestHeaders(HttpHeaderList headers) : ComObject("request-headers") {
        store_.headers = std::move(headers);
    }
    HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE
    GetHeaders(LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** value) override;
    HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* value) override;
    HRESULT STDMETHODCALLTYPE SetHeader(LPCWSTR name, LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE RemoveHeader(LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE
    GetIterator(ICoreWebView2HttpHeadersCollectionIterator** value) override;

private:
    HeaderStore store_;
};

class ResponseHeaders final
    : public ComObject<ICoreWebView2HttpResponseHeaders, ICoreWebView2HttpResponseHeaders> {
public:
    explicit ResponseHeaders(HttpHeaderList headers) : ComObject("response-headers") {
        store_.headers = std::move(headers);
    }
    HRESULT STDMETHODCALLTYPE AppendHeader(LPCWSTR name, LPCWSTR value) override;
    HRESULT STDMETHODCALLTYPE Contains(LPCWSTR name, BOOL* value) override;
    HRESULT STDMETHODCALLTYPE GetHeader(LPCWSTR name, LPWSTR* value) override;
    HRESULT STDMETHODCALLTYPE
    GetHeaders(LPCWSTR name, ICoreWebView2HttpHeadersCollectionIterator** value) override;
    HRESULT STDMETHODCALLTYPE
    GetIterator(ICoreWebView2HttpHeadersCollectionIterator** value) override;
    const HttpHeaderList& Headers() const { return store_.headers; }

private:
    HeaderStore store_;
};

class WebResourceRequest final
    : public ComObject<ICoreWebView2WebResourceRequest, ICoreWebView2WebResourceRequest> {
public:
    WebResourceRequest(std::string uri, std::string method, HttpHeaderList headers);
    HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override;
    HRESULT STDMETHODCALLTYPE put_Uri(LPCWSTR uri) override;
    HRESULT STDMETHODCALLTYPE get_Method(LPWSTR* method) override;
    HRESULT STDMETHODCALLTYPE put_Method(LPCWSTR method) override;
    HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override;
    HRESULT STDMETHODCALLTYPE put_Content(IStream* content) override;
    HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpRequestHeaders** headers) override;

private:
    std::string uri_;
    std::string method_;
    ComPtr<IStream> content_;
    ComPtr<RequestHeaders> headers_;
};

class WebResourceResponse final
    : public ComObject<ICoreWebView2WebResourceResponse, ICoreWebView2WebResourceResponse> {
public:
    WebResourceResponse(IStream* content, int status, std::string reason, HttpHeaderList headers);
    HRESULT STDMETHODCALLTYPE get_Content(IStream** content) override;
    HRESULT STDMETHODCALLTYPE put_Content(IStream* content) override;
    HRESULT STDMETHODCALLTYPE get_Headers(ICoreWebView2HttpResponseHeaders** headers) override;
    HRESULT STDMETHODCALLTYPE get_StatusCode(int* statusCode) override;
    HRESULT STDMETHODCALLTYPE put_StatusCode(int statusCode) override;
    HRESULT STDMETHODCALLTYPE get_ReasonPhrase(LPWSTR* reasonPhrase) override;
    HRESULT STDMETHODCALLTYPE put_ReasonPhrase(LPCWSTR reasonPhrase) override;

    IStream* Content() const { return content_.Get(); }
    int Status() const { return status_; }
    const std::string& Reason() const { return reason_; }
    const HttpHeaderList& Headers() const { return headers_->Headers(); }

private:
    ComPtr<IStream> content_;
    int status_;
    std::string reason_;
    ComPtr<ResponseHeaders> headers_;
};

class WebResourceRequestedArgs final
    : public ComObject<ICoreWebView2WebResourceRequestedEventArgs,
                       ICoreWebView2WebResourceRequestedEventArgs> {
public:
    WebResourceRequestedArgs(ComPtr<WebResourceRequest> request,
                             COREWEBVIEW2_WEB_RESOURCE_CONTEXT context)
        : ComObject("resource-request"), request_(std::move(request)), context_(context) {}
    HRESULT STDMETHODCALLTYPE get_Request(ICoreWebView2WebResourceRequest** request) override;
    HRESULT STDMETHODCALLTYPE get_Response(ICoreWebView2WebResourceResponse** response) override;
    HRESULT STDMETHODCALLTYPE put_Response(ICoreWebView2WebResourceResponse* response) override;
    HRESULT STDMETHODCALLTYPE GetDeferral(ICoreWebView2Deferral** deferral) override;
    HRESULT STDMETHODCALLTYPE
    get_ResourceContext(COREWEBVIEW2_WEB_RESOURCE_CONTEXT* context) override;

    ICoreWebView2WebResourceResponse* Response() const { return response_.Get(); }

private:
    ComPtr<WebResourceRequest> request_;
    COREWEBVIEW2_WEB_RESOURCE_CONTEXT context_;
    ComPtr<ICoreWebView2WebResourceResponse> response_;
};

// The transcript's "response" (or "unanswered") line for a request the host was offered:
// status, reason, header lines in order, the body read to its end (its length, hash, and its
// bytes when short, else its last bytes) and "bodyAgile". The body is read as the runtime reads
// it, by the BodyReader, while the runtime's thread goes on; the line is written, and `done` run
// with the answer (the body's first `keepBody` bytes only), on the runtime's thread once the body
// has been read. Without a response to record, `done` gets nothing (at once).
using ResponseDone = std::function<void(std::optional<PageResponse>)>;
void RecordResponse(Json request, ICoreWebView2WebResourceResponse* response, bool hashBody,
                    std::uint64_t keepBody, ResponseDone done);

}  // namespace substitute
