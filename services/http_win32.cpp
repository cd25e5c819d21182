// The HTTP client over the WinHttpRequest COM object.  mingw has no header
// for its interface, so every call goes through IDispatch by member name
// (GetIDsOfNames, then Invoke), which the object supports for scripting.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "services/http.hpp"

namespace qor::http {

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const wchar_t* text, size_t length) {
    if (length == 0) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, int(length), out.data(), n, nullptr, nullptr);
    return out;
}

// Owns a VARIANT argument or result.
struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
};

void set_text(VARIANT& v, const std::string& utf8) {
    std::wstring w = wide(utf8);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(w.data(), UINT(w.size()));
}

void set_long(VARIANT& v, long n) {
    v.vt = VT_I4;
    v.lVal = n;
}

// The "missing" argument.
void set_missing(VARIANT& v) {
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
}

bool set_bytes(VARIANT& v, const std::string& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, ULONG(bytes.size()));
    if (!array) return false;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        SafeArrayDestroy(array);
        return false;
    }
    if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = array;   // destroyed with the variant, after sending
    return true;
}

// Calls a member by name; `args` in the order of the member's parameters.
HRESULT call(IDispatch* object, const wchar_t* name, WORD kind, std::vector<VARIANT*> args, VARIANT* result) {
    DISPID id = 0;
    LPOLESTR member = const_cast<LPOLESTR>(name);
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> reversed;   // Invoke takes the arguments last first
    for (size_t i = args.size(); i-- > 0;) reversed.push_back(*args[i]);
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, UINT(reversed.size()), 0};
    EXCEPINFO failure{};
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, &failure, nullptr);
    SysFreeString(failure.bstrSource);
    SysFreeString(failure.bstrDescription);
    SysFreeString(failure.bstrHelpFile);
    return hr;
}

// COM for this thread when start-up has not set it up already.
struct ComScope {
    bool owned = false;
    ComScope() {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        owned = hr == S_OK || hr == S_FALSE;
    }
    ~ComScope() {
        if (owned) CoUninitialize();
    }
};

struct Released {
    IDispatch* object = nullptr;
    ~Released() {
        if (object) object->Release();
    }
};

}  // namespace

Outcome perform(const Request& request, Response& response) {
    response = Response{};
    ComScope com;
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"WinHttp.WinHttpRequest.5.1", &clsid))) return Outcome::NOT_MADE;
    Released http;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&http.object))))
        return Outcome::NOT_MADE;

    {
        Variant resolve, connect, send, receive;
        set_long(resolve.v, long(request.resolve_ms));
        set_long(connect.v, long(request.connect_ms));
        set_long(send.v, long(request.send_ms));
        set_long(receive.v, long(request.receive_ms));
        call(http.object, L"SetTimeouts", DISPATCH_METHOD, {&resolve.v, &connect.v, &send.v, &receive.v}, nullptr);
    }
    {
        Variant method, url, async;
        set_text(method.v, request.method);
        set_text(url.v, wire_url(request.url));
        async.v.vt = VT_BOOL;
        async.v.boolVal = VARIANT_FALSE;
        if (FAILED(call(http.object, L"Open", DISPATCH_METHOD, {&method.v, &url.v, &async.v}, nullptr)))
            return Outcome::NOT_MADE;
    }
    for (const auto& [name, value] : request.headers) {
        Variant n, v;
        set_text(n.v, name);
        set_text(v.v, value);
        call(http.object, L"SetRequestHeader", DISPATCH_METHOD, {&n.v, &v.v}, nullptr);
    }
    {
        Variant body;
        bool bodiless = request.method == "GET" || request.method == "HEAD";
        if (bodiless || request.body_kind == Request::NO_BODY) set_missing(body.v);
        else if (request.body_kind == Request::TEXT) set_text(body.v, request.body);
        else if (!set_bytes(body.v, request.body)) return Outcome::FAILED;
        if (FAILED(call(http.object, L"Send", DISPATCH_METHOD, {&body.v}, nullptr))) return Outcome::FAILED;
    }
    {
        Variant status;
        if (FAILED(call(http.object, L"Status", DISPATCH_PROPERTYGET, {}, &status.v)) ||
            FAILED(VariantChangeType(&status.v, &status.v, 0, VT_I4)))
            return Outcome::FAILED;
        response.status = int32_t(status.v.lVal);
    }
    {
        Variant headers;
        if (FAILED(call(http.object, L"GetAllResponseHeaders", DISPATCH_METHOD, {}, &headers.v)) ||
            headers.v.vt != VT_BSTR)
            return Outcome::FAILED;
        UINT length = SysStringLen(headers.v.bstrVal);
        if (length > k_max_header_text) return Outcome::FAILED;
        response.header_text = narrow(headers.v.bstrVal, length);
    }
    {
        Variant body;
        if (FAILED(call(http.object, L"ResponseBody", DISPATCH_PROPERTYGET, {}, &body.v))) return Outcome::FAILED;
        if (body.v.vt == (VT_ARRAY | VT_UI1) && body.v.parray && SafeArrayGetDim(body.v.parray) == 1) {
            LONG low = 0, high = -1;
            SafeArrayGetLBound(body.v.parray, 1, &low);
            SafeArrayGetUBound(body.v.parray, 1, &high);
            size_t count = high >= low ? size_t(high - low) + 1 : 0;
            if (count > request.max_body) return Outcome::FAILED;
            void* data = nullptr;
            if (count > 0 && SUCCEEDED(SafeArrayAccessData(body.v.parray, &data))) {
                response.body.assign(static_cast<const char*>(data), count);
                SafeArrayUnaccessData(body.v.parray);
            }
        }
    }
    return Outcome::DONE;
}

}  // namespace qor::http
