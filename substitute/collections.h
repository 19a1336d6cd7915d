// The object collection and the file-system handles the host posts to the page.
#pragma once

#include <string>
#include <vector>

#include "com_support.h"

namespace substitute {

class FileSystemHandle final
    : public ComObject<ICoreWebView2FileSystemHandle, ICoreWebView2FileSystemHandle> {
public:
    FileSystemHandle(COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND kind, std::wstring path,
                     COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission)
        : ComObject("file-system-handle"),
          kind_(kind),
          path_(std::move(path)),
          permission_(permission) {}
    HRESULT STDMETHODCALLTYPE get_Kind(COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND* value) override {
        return Call(__func__, [&] { return Put(value, kind_); });
    }
    HRESULT STDMETHODCALLTYPE get_Path(LPWSTR* value) override {
        return Call(__func__, [&] { return CopyOut(path_, value); });
    }
    HRESULT STDMETHODCALLTYPE
    get_Permission(COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION* value) override {
        return Call(__func__, [&] { return Put(value, permission_); });
    }

private:
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_KIND kind_;
    std::wstring path_;
    COREWEBVIEW2_FILE_SYSTEM_HANDLE_PERMISSION permission_;
};

class ObjectCollection final
    : public ComObject<ICoreWebView2ObjectCollection, ICoreWebView2ObjectCollectionView,
                       ICoreWebView2ObjectCollection> {
public:
    ObjectCollection(UINT32 length, IUnknown** items)
        : ComObject("object-collection"), items_(items, items + length) {}
    HRESULT STDMETHODCALLTYPE get_Count(UINT32* value) override {
        return Call(__func__, [&] { return Put(value, static_cast<UINT32>(items_.size())); });
    }
    HRESULT STDMETHODCALLTYPE GetValueAtIndex(UINT32 index, IUnknown** value) override {
        return Call(__func__, [&] {
            if (value == nullptr) return E_POINTER;
            *value = nullptr;
            if (index >= items_.size()) return E_INVALIDARG;
            return PutRef(value, items_[index]);
        });
    }
    HRESULT STDMETHODCALLTYPE RemoveValueAtIndex(UINT32 index) override {
        return Call(__func__, [&] {
            if (index >= items_.size()) return E_INVALIDARG;
            items_.erase(items_.begin() + index);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE InsertValueAtIndex(UINT32 index, IUnknown* value) override {
        return Call(__func__, [&] {
            if (index > items_.size()) return E_INVALIDARG;
            items_.insert(items_.begin() + index, ComPtr<IUnknown>(value));
            return S_OK;
        });
    }

private:
    std::vector<ComPtr<IUnknown>> items_;
};

}  // namespace substitute
