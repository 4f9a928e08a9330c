#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <utility>

#include "ui/PaneElement.h"
#include "ui/PaneText.h"

using namespace paneaccess;

namespace {

constexpr auto kInvalidOperation = static_cast<HRESULT>(UIA_E_INVALIDOPERATION);

// Asked of a range a client passes in, to find the pane's own ranges.
const IID kPaneRangeIid = {0x17decc5d, 0x3ffe, 0x422c, {0x97, 0xc9, 0xd1, 0x1e, 0xd7, 0xba, 0x33, 0x73}};

std::size_t NextLineStart(const PaneText& text, std::size_t line) {
    return line + 1 < text.LineCount() ? text.LineStart(line + 1) : text.Length();
}

bool ValidUnit(TextUnit unit) { return unit >= TextUnit_Character && unit <= TextUnit_Document; }
bool ValidEndpoint(TextPatternRangeEndpoint endpoint) {
    return endpoint == TextPatternRangeEndpoint_Start || endpoint == TextPatternRangeEndpoint_End;
}

// A range of the pane's text. Its positions are kept as they are while the
// text changes, and taken within the text at each call.
class PaneTextRange final : public ComObject<PaneTextRange, ITextRangeProvider> {
public:
    PaneTextRange(PaneElement& owner, PaneRange span) : element(&owner), range(span) { owner.AddRef(); }

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
    friend ComObject;
    ~PaneTextRange() = default;
    void* Interface(REFIID iid) {
        const bool answered = iid == IID_IUnknown || iid == __uuidof(ITextRangeProvider) || iid == kPaneRangeIid;
        return answered ? static_cast<ITextRangeProvider*>(this) : nullptr;
    }
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

HRESULT STDMETHODCALLTYPE PaneElement::GetSelection(SAFEARRAY** ranges) {
    if (!source) return kGone;
    const std::size_t anchor = source->Anchor(), caret = source->Caret();
    return RangeArray({std::min(anchor, caret), std::max(anchor, caret)}, ranges);
}

HRESULT STDMETHODCALLTYPE PaneElement::GetVisibleRanges(SAFEARRAY** ranges) {
    if (!source) return kGone;
    const PaneText& text = source->Text();
    const std::size_t first = std::min(source->FirstVisibleLine(), text.LineCount() - 1);
    const std::size_t rows = std::max<std::size_t>(source->VisibleLines(), 1);
    const std::size_t last = std::min(first + rows, text.LineCount()) - 1;
    return RangeArray({text.LineStart(first), NextLineStart(text, last)}, ranges);
}

HRESULT STDMETHODCALLTYPE PaneElement::RangeFromChild(IRawElementProviderSimple*, ITextRangeProvider** range) {
    if (range) *range = nullptr;
    return source ? E_INVALIDARG : kGone;  // the pane has no children
}

HRESULT STDMETHODCALLTYPE PaneElement::RangeFromPoint(struct UiaPoint point, ITextRangeProvider** range) {
    if (!range) return E_INVALIDARG;
    *range = nullptr;
    if (!source) return kGone;
    POINT client{static_cast<LONG>(std::lround(point.x)), static_cast<LONG>(std::lround(point.y))};
    ScreenToClient(source->Window(), &client);
    const std::size_t position = std::min(source->PositionAt(client), source->Text().Length());
    return NewRange({position, position}, range);
}

HRESULT STDMETHODCALLTYPE PaneElement::get_DocumentRange(ITextRangeProvider** range) {
    if (!range) return E_INVALIDARG;
    *range = nullptr;
    return source ? NewRange({0, source->Text().Length()}, range) : kGone;
}

HRESULT STDMETHODCALLTYPE PaneElement::get_SupportedTextSelection(enum SupportedTextSelection* supported) {
    if (!supported) return E_INVALIDARG;
    *supported = SupportedTextSelection_Single;
    return source ? S_OK : kGone;
}

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
