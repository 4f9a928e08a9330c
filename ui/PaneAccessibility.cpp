#include "ui/PaneAccessibility.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <new>

#include "resources/resource.h"
#include "ui/PaneElement.h"
#include "ui/PaneText.h"

using namespace paneaccess;

namespace {

// UI Automation's NotificationKind_ActionCompleted and NotificationProcessing_ImportantMostRecent.
constexpr int kActionCompleted = 2, kImportantMostRecent = 1;

template <typename Function>
void Load(HMODULE module, const char* name, Function& function) {
    // Through the generic function type, as GetProcAddress's result stands for any.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool ClientsListening() {
    const UiaFunctions& uia = Uia();
    return uia.raiseEvent && (!uia.clientsListening || uia.clientsListening());
}

}  // namespace

const UiaFunctions& paneaccess::Uia() {
    static const UiaFunctions functions = [] {
        UiaFunctions loaded;
        wchar_t path[MAX_PATH];
        const UINT length = GetSystemDirectoryW(path, MAX_PATH);
        if (length == 0 || length + 24 > MAX_PATH) return loaded;
        lstrcpyW(path + length, L"\\uiautomationcore.dll");
        if (const HMODULE module = LoadLibraryW(path)) {  // kept for the life of the process
            Load(module, "UiaReturnRawElementProvider", loaded.returnProvider);
            Load(module, "UiaHostProviderFromHwnd", loaded.hostProvider);
            Load(module, "UiaRaiseAutomationEvent", loaded.raiseEvent);
            Load(module, "UiaGetReservedNotSupportedValue", loaded.notSupported);
            Load(module, "UiaClientsAreListening", loaded.clientsListening);
            Load(module, "UiaDisconnectProvider", loaded.disconnect);
            Load(module, "UiaRaiseNotificationEvent", loaded.raiseNotification);
        }
        return loaded;
    }();
    return functions;
}

BSTR paneaccess::TextString(const PaneText& text, std::size_t from, std::size_t count) {
    const BSTR string = SysAllocStringLen(nullptr, static_cast<UINT>(count));
    if (string) text.CopyTo(from, count, string);
    return string;
}

void paneaccess::SetBool(VARIANT* value, bool flag) {
    V_VT(value) = VT_BOOL;
    V_BOOL(value) = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

RECT paneaccess::ToScreen(HWND window, RECT rectangle) {
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rectangle), 2);
    return rectangle;
}

PaneElement::PaneElement(PaneAccessSource& source) : source(&source) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(source.Window(), GWLP_HINSTANCE));
    LoadStringW(instance, IDS_PANE_NAME, name, static_cast<int>(std::size(name)));
}

HRESULT STDMETHODCALLTYPE PaneElement::get_ProviderOptions(enum ProviderOptions* options) {
    if (!options) return E_INVALIDARG;
    *options = ProviderOptions_ServerSideProvider;
    return source ? S_OK : kGone;
}

HRESULT STDMETHODCALLTYPE PaneElement::GetPatternProvider(PATTERNID pattern, IUnknown** provider) {
    if (!provider) return E_INVALIDARG;
    *provider = nullptr;
    if (!source) return kGone;
    if (pattern == UIA_TextPatternId) {
        *provider = static_cast<ITextProvider*>(this);
        AddRef();
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PaneElement::get_HostRawElementProvider(IRawElementProviderSimple** host) {
    if (!host) return E_INVALIDARG;
    *host = nullptr;
    if (!source) return kGone;
    return Uia().hostProvider ? Uia().hostProvider(source->Window(), host) : E_FAIL;
}

HRESULT PaneElement::GetPropertyValue(PROPERTYID property, VARIANT* value) {
    if (!value) return E_INVALIDARG;
    VariantInit(value);
    if (!source) return kGone;
    switch (property) {
    case UIA_ControlTypePropertyId:
        V_VT(value) = VT_I4;
        V_I4(value) = UIA_DocumentControlTypeId;
        break;
    case UIA_NamePropertyId:
        V_BSTR(value) = SysAllocString(name);
        if (V_BSTR(value)) V_VT(value) = VT_BSTR;
        break;
    case UIA_IsKeyboardFocusablePropertyId: SetBool(value, true); break;
    case UIA_HasKeyboardFocusPropertyId: SetBool(value, source->Focused()); break;
    default: break;  // the window's own provider answers the rest
    }
    return S_OK;
}

PaneAccessibility::PaneAccessibility(PaneAccessSource& source) : source(source) {}

PaneAccessibility::~PaneAccessibility() { Disconnect(); }

PaneElement* PaneAccessibility::Made() {
    if (!element && !disconnected) element.reset(new (std::nothrow) PaneElement(source));
    return element.get();
}

IRawElementProviderSimple* PaneAccessibility::Element() { return Made(); }

LRESULT PaneAccessibility::AnswerGetObject(WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = false;
    const auto objectId = static_cast<LONG>(static_cast<DWORD>(lParam));
    if (objectId == UiaRootObjectId) {
        if (!Uia().returnProvider || !Made()) return 0;
        handled = true;
        return Uia().returnProvider(source.Window(), wParam, lParam, element.get());
    }
    if (objectId != OBJID_CLIENT && objectId != OBJID_CARET) return 0;
    ComPtr<IAccessible>& object = objectId == OBJID_CLIENT ? client : caret;
    if (!object && Made()) {
        void* standard = nullptr;
        if (FAILED(CreateStdAccessibleObject(source.Window(), objectId, __uuidof(IAccessible), &standard))) return 0;
        object.reset(NewPaneAccessible(*element.get(), objectId, static_cast<IAccessible*>(standard)));
        if (!object) static_cast<IAccessible*>(standard)->Release();
    }
    if (!object) return 0;
    handled = true;
    return LresultFromObject(__uuidof(IAccessible), wParam, object.get());
}

void PaneAccessibility::NotifySelectionChanged() {
    const std::size_t anchor = source.Anchor(), caretAt = source.Caret();
    if (disconnected || (anchor == toldAnchor && caretAt == toldCaret)) return;
    const bool caretMoved = caretAt != toldCaret;
    toldAnchor = anchor, toldCaret = caretAt;
    const HWND window = source.Window();
    NotifyWinEvent(EVENT_OBJECT_TEXTSELECTIONCHANGED, window, OBJID_CLIENT, CHILDID_SELF);
    if (caretMoved) NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, window, OBJID_CARET, CHILDID_SELF);
    NotifyValue();
    if (ClientsListening() && Made()) Uia().raiseEvent(element.get(), UIA_Text_TextSelectionChangedEventId);
}

void PaneAccessibility::NotifyTextChanged() {
    if (disconnected) return;
    NotifyValue();
    if (ClientsListening() && Made()) Uia().raiseEvent(element.get(), UIA_Text_TextChangedEventId);
}

void PaneAccessibility::NotifyValue() {
    // The value is the caret's line: told again when the caret changes lines
    // or that line grows or shrinks.
    const PaneText& text = source.Text();
    const std::size_t line = text.LineOf(std::min(source.Caret(), text.Length())), length = text.LineLength(line);
    if (line == toldLine && length == toldLineLength) return;
    toldLine = line, toldLineLength = length;
    NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, source.Window(), OBJID_CLIENT, CHILDID_SELF);
}

void PaneAccessibility::Disconnect() {
    if (disconnected) return;
    disconnected = true;
    for (ComPtr<IAccessible>* object : {&client, &caret}) {
        if (*object) CoDisconnectObject(object->get(), 0);
        object->reset();
    }
    if (!element) return;
    element.get()->Disconnect();
    // UI Automation lets go of what it holds for the window, and its clients' calls fail.
    if (Uia().returnProvider) Uia().returnProvider(source.Window(), 0, 0, nullptr);
    if (Uia().disconnect) Uia().disconnect(element.get());
    element.reset();
}

void AnnounceJobEnd(HWND window, std::size_t lines) {
    const UiaFunctions& uia = Uia();
    if (!uia.raiseNotification || !uia.hostProvider || !ClientsListening()) return;
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    wchar_t pattern[64] = {}, said[128] = {};
    LoadStringW(instance, lines == 1 ? IDS_JOB_END_LINE : IDS_JOB_END_LINES, pattern, 64);
    wsprintfW(said, pattern, static_cast<unsigned>(std::min<std::size_t>(lines, UINT_MAX)));
    IRawElementProviderSimple* host = nullptr;
    if (FAILED(uia.hostProvider(window, &host)) || !host) return;
    const ComPtr<IRawElementProviderSimple> owned(host);
    const SysString text(SysAllocString(said)), activity(SysAllocString(L"Dunmo.JobEnd"));
    if (text && activity)
        uia.raiseNotification(host, kActionCompleted, kImportantMostRecent, text.get(), activity.get());
}
