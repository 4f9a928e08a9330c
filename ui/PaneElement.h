#pragma once
// What the pane's accessibility files share: UI Automation's functions, the
// UI Automation element, and the maker of the Active Accessibility objects.
// For PaneAccessibility.cpp, PaneTextPattern.cpp and PaneAccessible.cpp only.
#include <windows.h>
#include <oleacc.h>

#include <cstddef>

#include "ui/PaneAccessibility.h"
#include "ui/PaneRange.h"
#include "ui/UiaTextPattern.h"

namespace paneaccess {

constexpr auto kGone = static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE);

// UI Automation's functions, from the system's own copy: the program runs
// from Windows 7 on, which lacks some of them, and links no import library.
struct UiaFunctions {
    LRESULT(WINAPI* returnProvider)(HWND, WPARAM, LPARAM, IRawElementProviderSimple*) = nullptr;
    HRESULT(WINAPI* hostProvider)(HWND, IRawElementProviderSimple**) = nullptr;
    HRESULT(WINAPI* raiseEvent)(IRawElementProviderSimple*, EVENTID) = nullptr;
    HRESULT(WINAPI* notSupported)(IUnknown**) = nullptr;
    BOOL(WINAPI* clientsListening)() = nullptr;
    HRESULT(WINAPI* disconnect)(IRawElementProviderSimple*) = nullptr;  // Windows 8
    HRESULT(WINAPI* raiseNotification)(IRawElementProviderSimple*, int, int, BSTR, BSTR) = nullptr;  // 10 1709
};
const UiaFunctions& Uia();

// [from, from + count) of the text as a new string, or null without memory.
BSTR TextString(const PaneText& text, std::size_t from, std::size_t count);
void SetBool(VARIANT* value, bool flag);
RECT ToScreen(HWND window, RECT rectangle);

// The reference count and QueryInterface of the pane's objects, made with one
// reference. `Derived` (final, befriending this) answers `void* Interface(REFIID)`
// with the interface pointer, or null for an interface it lacks.
template <typename Derived, typename... Interfaces>
class ComObject : public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = static_cast<Derived*>(this)->Interface(iid);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(left);
    }

protected:
    ~ComObject() = default;

private:
    LONG references = 1;
};

}  // namespace paneaccess

// The pane's UI Automation element and its text pattern. Disconnected, it
// keeps no pointer to the pane.
class PaneElement final
    : public paneaccess::ComObject<PaneElement, IRawElementProviderSimple, ITextProvider> {
public:
    explicit PaneElement(PaneAccessSource& source);
    PaneAccessSource* Source() const { return source; }
    const wchar_t* Name() const { return name; }
    void Disconnect() { source = nullptr; }
    // A new range of this element with one reference, or null without memory.
    HRESULT NewRange(PaneRange range, ITextRangeProvider** out);

    // IRawElementProviderSimple
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(enum ProviderOptions* options) override;
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** provider) override;
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** host) override;

    // ITextProvider
    HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** ranges) override;
    HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** ranges) override;
    HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple*, ITextRangeProvider** range) override;
    HRESULT STDMETHODCALLTYPE RangeFromPoint(struct UiaPoint point, ITextRangeProvider** range) override;
    HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** range) override;
    HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(enum SupportedTextSelection* supported) override;

private:
    friend ComObject;
    ~PaneElement() = default;
    void* Interface(REFIID iid) {
        if (iid == IID_IUnknown || iid == __uuidof(IRawElementProviderSimple))
            return static_cast<IRawElementProviderSimple*>(this);
        return iid == __uuidof(ITextProvider) ? static_cast<ITextProvider*>(this) : nullptr;
    }
    // One range, in an array of the caller's.
    HRESULT RangeArray(PaneRange range, SAFEARRAY** ranges);

    PaneAccessSource* source;
    wchar_t name[64] = {};
};

// A new Active Accessibility object of `owner`'s, OBJID_CLIENT's or
// OBJID_CARET's, with one reference and owning `standard`; null without memory.
IAccessible* NewPaneAccessible(PaneElement& owner, LONG objectId, IAccessible* standard);
