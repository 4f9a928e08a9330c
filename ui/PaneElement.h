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

}  // namespace paneaccess

// The pane's UI Automation element and its text pattern. Disconnected, it
// keeps no pointer to the pane.
class PaneElement final : public IRawElementProviderSimple, public ITextProvider {
public:
    explicit PaneElement(PaneAccessSource& source);
    PaneAccessSource* Source() const { return source; }
    const wchar_t* Name() const { return name; }
    void Disconnect() { source = nullptr; }
    // A new range of this element with one reference, or null without memory.
    HRESULT NewRange(PaneRange range, ITextRangeProvider** out);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(IRawElementProviderSimple))
            *object = static_cast<IRawElementProviderSimple*>(this);
        else if (iid == __uuidof(ITextProvider))
            *object = static_cast<ITextProvider*>(this);
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
    ~PaneElement() = default;
    // One range, in an array of the caller's.
    HRESULT RangeArray(PaneRange range, SAFEARRAY** ranges);

    LONG references = 1;
    PaneAccessSource* source;
    wchar_t name[64] = {};
};

// A new Active Accessibility object of `owner`'s, OBJID_CLIENT's or
// OBJID_CARET's, with one reference and owning `standard`; null without memory.
IAccessible* NewPaneAccessible(PaneElement& owner, LONG objectId, IAccessible* standard);
