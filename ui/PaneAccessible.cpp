#include <algorithm>
#include <new>

#include "ui/PaneElement.h"
#include "ui/PaneText.h"

using namespace paneaccess;

namespace {

// The pane's Active Accessibility objects, the client area's (a read-only
// text) and the caret's. What they do not answer themselves the system's
// standard object for the same window answers.
class PaneAccessible final : public IAccessible {
public:
    PaneAccessible(PaneElement& owner, LONG id, IAccessible* standardObject)
        : element(&owner), objectId(id), standard(standardObject) {
        owner.AddRef();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != __uuidof(IAccessible))
            return *object = nullptr, E_NOINTERFACE;
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    // No type library: clients call through the vtable.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return count ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!name) return E_INVALIDARG;
        *name = nullptr;
        if (const HRESULT refused = Refuse(child)) return refused;
        if (objectId != OBJID_CLIENT) return S_FALSE;
        *name = SysAllocString(element.get()->Name());
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    // The line under the caret, without its break.
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        if (!value) return E_INVALIDARG;
        *value = nullptr;
        if (const HRESULT refused = Refuse(child)) return refused;
        if (objectId != OBJID_CLIENT) return S_FALSE;
        const PaneAccessSource& source = *element.get()->Source();
        const PaneText& text = source.Text();
        const std::size_t line = text.LineOf(std::min(source.Caret(), text.Length()));
        *value = TextString(text, text.LineStart(line), text.LineLength(line));
        return *value ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_INVALIDARG;
        VariantInit(role);
        if (const HRESULT refused = Refuse(child)) return refused;
        V_VT(role) = VT_I4;
        V_I4(role) = objectId == OBJID_CLIENT ? ROLE_SYSTEM_TEXT : ROLE_SYSTEM_CARET;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_INVALIDARG;
        VariantInit(state);
        if (const HRESULT refused = Refuse(child)) return refused;
        const bool focused = element.get()->Source()->Focused();
        LONG flags = focused ? 0 : STATE_SYSTEM_INVISIBLE;
        if (objectId == OBJID_CLIENT) {
            // The window's own state says whether it is shown and enabled.
            VARIANT shown;
            VariantInit(&shown);
            const LONG kept = STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
            flags = STATE_SYSTEM_READONLY | STATE_SYSTEM_FOCUSABLE | (focused ? STATE_SYSTEM_FOCUSED : 0);
            if (SUCCEEDED(standard.get()->get_accState(child, &shown)) && V_VT(&shown) == VT_I4)
                flags |= V_I4(&shown) & kept;
            VariantClear(&shown);
        }
        V_VT(state) = VT_I4;
        V_I4(state) = flags;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        if (!left || !top || !width || !height) return E_INVALIDARG;
        if (const HRESULT refused = Refuse(child)) return refused;
        if (objectId == OBJID_CLIENT) return standard.get()->accLocation(left, top, width, height, child);
        const PaneAccessSource& source = *element.get()->Source();
        const std::size_t caret = std::min(source.Caret(), source.Text().Length());
        const RECT place = ToScreen(source.Window(), source.SpanRectangle(caret, caret));
        *left = place.left, *top = place.top;
        *width = std::max<LONG>(place.right - place.left, 1), *height = place.bottom - place.top;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        return Connected() ? standard.get()->get_accParent(parent) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (count) *count = 0;
        return count ? (Connected() ? S_OK : RPC_E_DISCONNECTED) : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
        if (child) *child = nullptr;
        return Connected() ? E_INVALIDARG : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return Connected() ? standard.get()->get_accDescription(child, text) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
        return Connected() ? standard.get()->get_accHelp(child, text) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return Connected() ? standard.get()->get_accHelpTopic(file, child, topic) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return Connected() ? standard.get()->get_accKeyboardShortcut(child, shortcut) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        return Connected() ? standard.get()->get_accFocus(focus) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        return Connected() ? standard.get()->get_accSelection(selection) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return Connected() ? standard.get()->get_accDefaultAction(child, action) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return Connected() ? standard.get()->accSelect(flags, child) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return Connected() ? standard.get()->accNavigate(direction, start, end) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long left, long top, VARIANT* child) override {
        return Connected() ? standard.get()->accHitTest(left, top, child) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return Connected() ? standard.get()->accDoDefaultAction(child) : RPC_E_DISCONNECTED;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

private:
    ~PaneAccessible() = default;
    bool Connected() const { return element.get()->Source() != nullptr; }
    // The error for a call about `child`, or S_OK for one about the object itself.
    HRESULT Refuse(const VARIANT& child) const {
        if (!Connected()) return RPC_E_DISCONNECTED;
        return V_VT(&child) == VT_I4 && V_I4(&child) == CHILDID_SELF ? S_OK : E_INVALIDARG;
    }

    LONG references = 1;
    ComPtr<PaneElement> element;
    LONG objectId;
    ComPtr<IAccessible> standard;
};

}  // namespace

IAccessible* NewPaneAccessible(PaneElement& owner, LONG objectId, IAccessible* standard) {
    return new (std::nothrow) PaneAccessible(owner, objectId, standard);
}
