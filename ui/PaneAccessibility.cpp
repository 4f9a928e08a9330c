#include "ui/PaneAccessibility.h"

#include <oleacc.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <iterator>
#include <new>
#include <utility>

#include "resources/resource.h"
#include "ui/PaneRange.h"
#include "ui/PaneText.h"
#include "ui/UiaTextPattern.h"

namespace {

constexpr auto kGone = static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE);
constexpr auto kInvalidOperation = static_cast<HRESULT>(UIA_E_INVALIDOPERATION);
// UI Automation's NotificationKind_ActionCompleted and NotificationProcessing_ImportantMostRecent.
constexpr int kActionCompleted = 2, kImportantMostRecent = 1;

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

template <typename Function>
void Load(HMODULE module, const char* name, Function& function) {
    // Through the generic function type, as GetProcAddress's result stands for any.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const UiaFunctions& Uia() {
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

bool ClientsListening() {
    const UiaFunctions& uia = Uia();
    return uia.raiseEvent && (!uia.clientsListening || uia.clientsListening());
}

// Asked of a range a client passes in, to find the pane's own ranges.
const IID kPaneRangeIid = {0x17decc5d, 0x3ffe, 0x422c, {0x97, 0xc9, 0xd1, 0x1e, 0xd7, 0xba, 0x33, 0x73}};

std::size_t NextLineStart(const PaneText& text, std::size_t line) {
    return line + 1 < text.LineCount() ? text.LineStart(line + 1) : text.Length();
}

// [from, from + count) of the text as a new string, or null without memory.
BSTR TextString(const PaneText& text, std::size_t from, std::size_t count) {
    const BSTR string = SysAllocStringLen(nullptr, static_cast<UINT>(count));
    if (string) text.CopyTo(from, count, string);
    return string;
}

void SetBool(VARIANT* value, bool flag) {
    V_VT(value) = VT_BOOL;
    V_BOOL(value) = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

RECT ToScreen(HWND window, RECT rectangle) {
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rectangle), 2);
    return rectangle;
}

bool ValidUnit(TextUnit unit) { return unit >= TextUnit_Character && unit <= TextUnit_Document; }
bool ValidEndpoint(TextPatternRangeEndpoint endpoint) {
    return endpoint == TextPatternRangeEndpoint_Start || endpoint == TextPatternRangeEndpoint_End;
}

}  // namespace

// The pane's UI Automation element and its text pattern. Disconnected, it
// keeps no pointer to the pane.
class PaneElement final : public IRawElementProviderSimple, public ITextProvider {
public:
    explicit PaneElement(PaneAccessSource& source) : source(&source) {
        const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(source.Window(), GWLP_HINSTANCE));
        LoadStringW(instance, IDS_PANE_NAME, name, static_cast<int>(std::size(name)));
    }
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
    HRESULT STDMETHODCALLTYPE get_ProviderOptions(enum ProviderOptions* options) override {
        if (!options) return E_INVALIDARG;
        *options = ProviderOptions_ServerSideProvider;
        return source ? S_OK : kGone;
    }
    HRESULT STDMETHODCALLTYPE GetPatternProvider(PATTERNID pattern, IUnknown** provider) override {
        if (!provider) return E_INVALIDARG;
        *provider = nullptr;
        if (!source) return kGone;
        if (pattern == UIA_TextPatternId) {
            *provider = static_cast<ITextProvider*>(this);
            AddRef();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPropertyValue(PROPERTYID property, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE get_HostRawElementProvider(IRawElementProviderSimple** host) override {
        if (!host) return E_INVALIDARG;
        *host = nullptr;
        if (!source) return kGone;
        return Uia().hostProvider ? Uia().hostProvider(source->Window(), host) : E_FAIL;
    }

    // ITextProvider
    HRESULT STDMETHODCALLTYPE GetSelection(SAFEARRAY** ranges) override {
        if (!source) return kGone;
        const std::size_t anchor = source->Anchor(), caret = source->Caret();
        return RangeArray({std::min(anchor, caret), std::max(anchor, caret)}, ranges);
    }
    HRESULT STDMETHODCALLTYPE GetVisibleRanges(SAFEARRAY** ranges) override {
        if (!source) return kGone;
        const PaneText& text = source->Text();
        const std::size_t first = std::min(source->FirstVisibleLine(), text.LineCount() - 1);
        const std::size_t rows = std::max<std::size_t>(source->VisibleLines(), 1);
        const std::size_t last = std::min(first + rows, text.LineCount()) - 1;
        return RangeArray({text.LineStart(first), NextLineStart(text, last)}, ranges);
    }
    HRESULT STDMETHODCALLTYPE RangeFromChild(IRawElementProviderSimple*, ITextRangeProvider** range) override {
        if (range) *range = nullptr;
        return source ? E_INVALIDARG : kGone;  // the pane has no children
    }
    HRESULT STDMETHODCALLTYPE RangeFromPoint(struct UiaPoint point, ITextRangeProvider** range) override {
        if (!range) return E_INVALIDARG;
        *range = nullptr;
        if (!source) return kGone;
        POINT client{static_cast<LONG>(std::lround(point.x)), static_cast<LONG>(std::lround(point.y))};
        ScreenToClient(source->Window(), &client);
        const std::size_t position = std::min(source->PositionAt(client), source->Text().Length());
        return NewRange({position, position}, range);
    }
    HRESULT STDMETHODCALLTYPE get_DocumentRange(ITextRangeProvider** range) override {
        if (!range) return E_INVALIDARG;
        *range = nullptr;
        return source ? NewRange({0, source->Text().Length()}, range) : kGone;
    }
    HRESULT STDMETHODCALLTYPE get_SupportedTextSelection(enum SupportedTextSelection* supported) override {
        if (!supported) return E_INVALIDARG;
        *supported = SupportedTextSelection_Single;
        return source ? S_OK : kGone;
    }

private:
    ~PaneElement() = default;
    // One range, in an array of the caller's.
    HRESULT RangeArray(PaneRange range, SAFEARRAY** ranges);

    LONG references = 1;
    PaneAccessSource* source;
    wchar_t name[64] = {};
};

namespace {

// A range of the pane's text. Its positions are kept as they are while the
// text changes, and taken within the text at each call.
class PaneTextRange final : public ITextRangeProvider {
public:
    PaneTextRange(PaneElement& owner, PaneRange span) : element(&owner), range(span) { owner.AddRef(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid != IID_IUnknown && iid != __uuidof(ITextRangeProvider) && iid != kPaneRangeIid)
            return *object = nullptr, E_NOINTERFACE;
        *object = static_cast<ITextRangeProvider*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Clone(ITextRangeProvider** clone) override {
        if (!clone) return E_INVALIDARG;
        *clone = nullptr;
        return Text() ? element.get()->NewRange(range, clone) : kGone;
    }
    HRESULT STDMETHODCALLTYPE Compare(ITextRangeProvider* other, BOOL* same) override {
        if (!same) return E_INVALIDARG;
        *same = FALSE;
        if (!Text()) return kGone;
        const ComPtr<PaneTextRange> theirs = Own(other);
        if (!theirs) return E_INVALIDARG;
        *same = theirs.get()->Current() == range;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CompareEndpoints(enum TextPatternRangeEndpoint endpoint, ITextRangeProvider* other,
                                               enum TextPatternRangeEndpoint otherEndpoint, int* order) override {
        if (!order || !ValidEndpoint(endpoint) || !ValidEndpoint(otherEndpoint)) return E_INVALIDARG;
        *order = 0;
        if (!Text()) return kGone;
        const ComPtr<PaneTextRange> theirs = Own(other);
        if (!theirs) return E_INVALIDARG;
        const PaneRange them = theirs.get()->Current();
        const auto at = [](PaneRange span, TextPatternRangeEndpoint which) {
            return static_cast<long long>(which == TextPatternRangeEndpoint_End ? span.end : span.start);
        };
        const long long difference = at(range, endpoint) - at(them, otherEndpoint);
        *order = static_cast<int>(std::clamp<long long>(difference, INT_MIN, INT_MAX));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExpandToEnclosingUnit(enum TextUnit unit) override {
        const PaneText* text = Text();
        if (!text) return kGone;
        if (!ValidUnit(unit)) return E_INVALIDARG;
        range = ::ExpandToEnclosingUnit(*text, range, static_cast<PaneUnit>(unit));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindAttribute(TEXTATTRIBUTEID attribute, VARIANT value, BOOL,
                                            ITextRangeProvider** found) override {
        if (!found) return E_INVALIDARG;
        *found = nullptr;
        if (!Text()) return kGone;
        // All of the text is read-only, and it has no other attribute.
        if (attribute == UIA_IsReadOnlyAttributeId && V_VT(&value) == VT_BOOL && V_BOOL(&value) == VARIANT_TRUE)
            return element.get()->NewRange(range, found);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindText(BSTR, BOOL, BOOL, ITextRangeProvider** found) override {
        if (found) *found = nullptr;
        return Text() ? E_NOTIMPL : kGone;
    }
    HRESULT STDMETHODCALLTYPE GetAttributeValue(TEXTATTRIBUTEID attribute, VARIANT* value) override {
        if (!value) return E_INVALIDARG;
        VariantInit(value);
        if (!Text()) return kGone;
        if (attribute == UIA_IsReadOnlyAttributeId) {
            SetBool(value, true);
        } else if (Uia().notSupported && SUCCEEDED(Uia().notSupported(&V_UNKNOWN(value)))) {
            V_VT(value) = VT_UNKNOWN;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBoundingRectangles(SAFEARRAY** rectangles) override;
    HRESULT STDMETHODCALLTYPE GetEnclosingElement(IRawElementProviderSimple** enclosing) override {
        if (!enclosing) return E_INVALIDARG;
        *enclosing = nullptr;
        if (!Text()) return kGone;
        element.get()->AddRef();
        *enclosing = element.get();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetText(int maxLength, BSTR* result) override {
        if (!result) return E_INVALIDARG;
        *result = nullptr;
        const PaneText* text = Text();
        if (!text) return kGone;
        if (maxLength < -1) return E_INVALIDARG;
        std::size_t count = range.end - range.start;
        if (maxLength >= 0) count = std::min(count, static_cast<std::size_t>(maxLength));
        *result = TextString(*text, range.start, count);
        return *result ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE Move(enum TextUnit unit, int count, int* moved) override {
        if (!moved) return E_INVALIDARG;
        *moved = 0;
        const PaneText* text = Text();
        if (!text) return kGone;
        if (!ValidUnit(unit)) return E_INVALIDARG;
        *moved = ::Move(*text, range, static_cast<PaneUnit>(unit), count);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveEndpointByUnit(enum TextPatternRangeEndpoint endpoint, enum TextUnit unit,
                                                 int count, int* moved) override {
        if (!moved) return E_INVALIDARG;
        *moved = 0;
        const PaneText* text = Text();
        if (!text) return kGone;
        if (!ValidUnit(unit) || !ValidEndpoint(endpoint)) return E_INVALIDARG;
        *moved = MoveEndpoint(*text, range, endpoint == TextPatternRangeEndpoint_End, static_cast<PaneUnit>(unit),
                              count);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MoveEndpointByRange(enum TextPatternRangeEndpoint endpoint, ITextRangeProvider* other,
                                                  enum TextPatternRangeEndpoint otherEndpoint) override {
        if (!Text()) return kGone;
        const ComPtr<PaneTextRange> theirs = Own(other);
        if (!theirs || !ValidEndpoint(endpoint) || !ValidEndpoint(otherEndpoint)) return E_INVALIDARG;
        const PaneRange them = theirs.get()->Current();
        SetEndpoint(range, endpoint == TextPatternRangeEndpoint_End,
                    otherEndpoint == TextPatternRangeEndpoint_End ? them.end : them.start);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Select() override {
        if (!Text()) return kGone;
        element.get()->Source()->Select(range.start, range.end);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddToSelection() override { return Text() ? kInvalidOperation : kGone; }
    HRESULT STDMETHODCALLTYPE RemoveFromSelection() override { return Text() ? kInvalidOperation : kGone; }
    HRESULT STDMETHODCALLTYPE ScrollIntoView(BOOL alignToTop) override {
        if (!Text()) return kGone;
        element.get()->Source()->ScrollIntoView(alignToTop ? range.start : range.end);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetChildren(SAFEARRAY** children) override {
        if (!children) return E_INVALIDARG;
        *children = nullptr;
        if (!Text()) return kGone;
        *children = SafeArrayCreateVector(VT_UNKNOWN, 0, 0);
        return *children ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~PaneTextRange() = default;
    // The text, with the range taken within it; null once the pane is gone.
    const PaneText* Text() {
        const PaneAccessSource* source = element.get()->Source();
        if (!source) return nullptr;
        range = Clamped(source->Text(), range);
        return &source->Text();
    }
    PaneRange Current() { return Text() ? range : PaneRange{}; }
    // `other` if it is a range of the same element.
    ComPtr<PaneTextRange> Own(ITextRangeProvider* other) const {
        void* found = nullptr;
        if (!other || FAILED(other->QueryInterface(kPaneRangeIid, &found))) return {};
        ComPtr<PaneTextRange> theirs(static_cast<PaneTextRange*>(static_cast<ITextRangeProvider*>(found)));
        return theirs.get()->element.get() == element.get() ? std::move(theirs) : ComPtr<PaneTextRange>();
    }

    LONG references = 1;
    ComPtr<PaneElement> element;
    PaneRange range;
};

// One rectangle, in screen coordinates, for each visible line the range
// touches, over the characters it holds there; a caret's place for an empty
// range.
HRESULT PaneTextRange::GetBoundingRectangles(SAFEARRAY** rectangles) {
    if (!rectangles) return E_INVALIDARG;
    *rectangles = nullptr;
    const PaneText* text = Text();
    if (!text) return kGone;
    const PaneAccessSource& source = *element.get()->Source();
    const std::size_t firstShown = source.FirstVisibleLine();
    const std::size_t lastShown = firstShown + std::max<std::size_t>(source.VisibleLines(), 1) - 1;
    const bool empty = range.start == range.end;
    std::size_t first = std::max(text->LineOf(range.start), firstShown), last = text->LineOf(range.end);
    if (!empty && text->LineStart(last) == range.end) --last;  // ends at a line's start
    last = std::min(last, lastShown);
    // The part of line `line` the range covers, its break left out.
    const auto span = [&](std::size_t line) {
        const std::size_t start = text->LineStart(line), end = start + text->LineLength(line);
        const std::size_t from = std::clamp(range.start, start, end);
        return PaneRange{from, std::clamp(range.end, from, end)};
    };
    LONG count = 0;
    for (std::size_t line = first; line <= last && first <= last; ++line) {
        const PaneRange part = span(line);
        count += empty || part.start < part.end;
    }
    SafeArray array(SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(count) * 4));
    if (!array) return E_OUTOFMEMORY;
    double* out = nullptr;
    if (FAILED(SafeArrayAccessData(array.get(), reinterpret_cast<void**>(&out)))) return E_FAIL;
    for (std::size_t line = first; line <= last && first <= last; ++line) {
        const PaneRange part = span(line);
        if (!empty && part.start == part.end) continue;
        const RECT drawn = ToScreen(source.Window(), source.SpanRectangle(part.start, part.end));
        for (const LONG value : {drawn.left, drawn.top, drawn.right - drawn.left, drawn.bottom - drawn.top})
            *out++ = value;
    }
    SafeArrayUnaccessData(array.get());
    *rectangles = array.release();
    return S_OK;
}

}  // namespace

HRESULT PaneElement::NewRange(PaneRange range, ITextRangeProvider** out) {
    *out = new (std::nothrow) PaneTextRange(*this, range);
    return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT PaneElement::RangeArray(PaneRange range, SAFEARRAY** ranges) {
    if (!ranges) return E_INVALIDARG;
    *ranges = nullptr;
    ITextRangeProvider* made = nullptr;
    if (FAILED(NewRange(range, &made))) return E_OUTOFMEMORY;
    const ComPtr<ITextRangeProvider> owned(made);
    SafeArray array(SafeArrayCreateVector(VT_UNKNOWN, 0, 1));
    LONG index = 0;
    if (!array || FAILED(SafeArrayPutElement(array.get(), &index, owned.get()))) return E_OUTOFMEMORY;
    *ranges = array.release();
    return S_OK;
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
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_IAccessible)
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
    ComPtr<PaneAccessible>& object = objectId == OBJID_CLIENT ? client : caret;
    if (!object && Made()) {
        void* standard = nullptr;
        if (FAILED(CreateStdAccessibleObject(source.Window(), objectId, IID_IAccessible, &standard))) return 0;
        object.reset(new (std::nothrow) PaneAccessible(*element.get(), objectId, static_cast<IAccessible*>(standard)));
        if (!object) static_cast<IAccessible*>(standard)->Release();
    }
    if (!object) return 0;
    handled = true;
    return LresultFromObject(IID_IAccessible, wParam, static_cast<IAccessible*>(object.get()));
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
    for (ComPtr<PaneAccessible>* object : {&client, &caret}) {
        if (*object) CoDisconnectObject(static_cast<IAccessible*>(object->get()), 0);
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
