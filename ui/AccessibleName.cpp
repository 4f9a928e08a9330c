#include "ui/AccessibleName.h"

#include <commctrl.h>
#include <oleacc.h>

#include <new>

#include "support/UniqueHandle.h"
#include "ui/Dialog.h"

namespace {

// The standard client object of a control, but for its name.
class NamedAccessible final : public IAccessible, public IOleWindow {
public:
    NamedAccessible(HWND control, UINT nameId, IAccessible* standard)
        : control(control), nameId(nameId), standard(standard) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible))
            *object = static_cast<IAccessible*>(this);
        else if (iid == __uuidof(IOleWindow))
            *object = static_cast<IOleWindow*>(this);
        else
            return *object = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_INVALIDARG;
        *window = control;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (V_VT(&child) != VT_I4 || V_I4(&child) != CHILDID_SELF) return standard.get()->get_accName(child, name);
        if (!name) return E_INVALIDARG;
        // With no room given, LoadStringW points at the resource's own text.
        const wchar_t* text = nullptr;
        const int length = LoadStringW(ModuleRecord::Current().ResourceInstance(), nameId,
                                       reinterpret_cast<LPWSTR>(&text), 0);
        *name = length > 0 ? SysAllocStringLen(text, static_cast<UINT>(length)) : nullptr;
        return *name ? S_OK : (length > 0 ? E_OUTOFMEMORY : S_FALSE);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return standard.get()->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard.get()->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
        return standard.get()->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        return standard.get()->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard.get()->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return standard.get()->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard.get()->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return standard.get()->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard.get()->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return standard.get()->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return standard.get()->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override { return standard.get()->get_accHelp(child, text); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard.get()->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return standard.get()->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override { return standard.get()->get_accFocus(focus); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return standard.get()->get_accSelection(selection);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard.get()->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return standard.get()->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        return standard.get()->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard.get()->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override {
        return standard.get()->accHitTest(left, top, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return standard.get()->accDoDefaultAction(child); }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard.get()->put_accValue(child, value);
    }

private:
    ~NamedAccessible() = default;

    LONG references = 1;
    HWND control;
    UINT nameId;
    ComPtr<IAccessible> standard;
};

LRESULT CALLBACK NamedProcedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                DWORD_PTR nameId) {
    if (message == WM_NCDESTROY) RemoveWindowSubclass(control, &NamedProcedure, id);
    // The object id travels as a 32-bit value, whatever the width of lParam.
    if (message != WM_GETOBJECT || static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT)
        return DefSubclassProc(control, message, wParam, lParam);
    IAccessible* made = nullptr;
    if (FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&made))))
        return DefSubclassProc(control, message, wParam, lParam);
    ComPtr<IAccessible> standard(made);
    const ComPtr<IAccessible> named(new (std::nothrow) NamedAccessible(control, static_cast<UINT>(nameId), made));
    if (!named) return DefSubclassProc(control, message, wParam, lParam);
    standard.release();  // now the named object's
    return LresultFromObject(__uuidof(IAccessible), wParam, named.get());
}

}  // namespace

bool NameControls(HWND dialog, const ControlName* names, std::size_t count) {
    bool all = true;
    for (std::size_t i = 0; i < count; ++i) {
        const HWND control = GetDlgItem(dialog, names[i].controlId);
        all = control && SetWindowSubclass(control, &NamedProcedure, 1, names[i].nameId) && all;
    }
    return all;
}
