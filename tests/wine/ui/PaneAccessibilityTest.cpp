// The pane's accessibility objects on a window of the tests' own, drawn in
// fixed cells: read through Active Accessibility and UI Automation's node
// functions from another process (this program run with --pane-host), and the
// text pattern called in-process, as Wine's client does not reach it.
#include <gtest/gtest.h>

#include <oleacc.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "../TestSupport.h"
#include "ui/PaneAccessibility.h"
#include "ui/PaneText.h"
#include "ui/UiaTextPattern.h"

namespace {

constexpr LONG kCell = 8, kLineHeight = 16;
constexpr UINT kMoveCaret = WM_APP + 2;  // wParam: where the caret goes
constexpr wchar_t kClass[] = L"DunmoTestPane";
const std::wstring kHostText = L"first line\r\nsecond line\r\nthird\r\n";

class TestPane final : public PaneAccessSource {
public:
    explicit TestPane(const std::wstring& content, bool quits = false) : quits(quits) {
        text.Append(content.data(), content.size());
        static const ATOM registered = [] {
            WNDCLASSW type{};
            type.lpfnWndProc = &Procedure;
            type.hInstance = GetModuleHandleW(nullptr);
            type.lpszClassName = kClass;
            return RegisterClassW(&type);
        }();
        CreateWindowExW(0, MAKEINTATOM(registered), L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 240,
                        nullptr, nullptr, GetModuleHandleW(nullptr), this);
    }
    ~TestPane() { DestroyWindow(window); }

    const PaneText& Text() const override { return text; }
    std::size_t Anchor() const override { return anchor; }
    std::size_t Caret() const override { return caret; }
    std::size_t FirstVisibleLine() const override { return 0; }
    std::size_t VisibleLines() const override { return 10; }
    RECT SpanRectangle(std::size_t from, std::size_t to) const override {
        const auto line = static_cast<LONG>(text.LineOf(from));
        const auto x = static_cast<LONG>(from - text.LineStart(line)) * kCell;
        return {x, line * kLineHeight, x + static_cast<LONG>(to - from) * kCell, (line + 1) * kLineHeight};
    }
    std::size_t PositionAt(POINT at) const override {
        const std::size_t line = std::min<std::size_t>(at.y / kLineHeight, text.LineCount() - 1);
        return text.LineStart(line) + std::min<std::size_t>(at.x / kCell, text.LineLength(line));
    }
    void Select(std::size_t from, std::size_t to) override {
        anchor = from, caret = to;
        access.NotifySelectionChanged();
    }
    void ScrollIntoView(std::size_t) override {}
    HWND Window() const override { return window; }
    bool Focused() const override { return GetFocus() == window; }

    PaneAccessibility access{*this};

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* created = static_cast<TestPane*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            created->window = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        }
        auto* pane = reinterpret_cast<TestPane*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        bool handled = false;
        if (pane && message == WM_GETOBJECT) {
            const LRESULT answer = pane->access.AnswerGetObject(wParam, lParam, handled);
            if (handled) return answer;
        }
        if (pane && message == kMoveCaret) pane->Select(wParam, wParam);
        if (pane && message == WM_DESTROY) {
            pane->access.Disconnect();
            if (pane->quits) PostQuitMessage(0);
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    PaneText text;
    std::size_t anchor = 0, caret = 0;
    HWND window = nullptr;
    bool quits;
};

// Run with --pane-host, the program only shows a pane until it is closed.
const bool kHosting = [] {
    if (!wcsstr(GetCommandLineW(), L"--pane-host")) return false;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        TestPane pane(kHostText, true);
        SetFocus(pane.Window());
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    }
    ExitProcess(0);
}();

template <typename Function>
Function Uia(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryW(L"uiautomationcore.dll"), name)));
}

std::wstring Take(BSTR text) {
    const SysString owned(text);
    return text ? std::wstring(text, SysStringLen(text)) : L"(null)";
}

ComPtr<ITextRangeProvider> First(SAFEARRAY* array) {
    const SafeArray owned(array);
    LONG index = 0;
    IUnknown* item = nullptr;
    void* range = nullptr;
    if (array && SUCCEEDED(SafeArrayGetElement(array, &index, &item)) && item) {
        item->QueryInterface(__uuidof(ITextRangeProvider), &range);
        item->Release();
    }
    return ComPtr<ITextRangeProvider>(static_cast<ITextRangeProvider*>(range));
}

// The events of `watched` seen by the hook, and the value read from each value event.
HWND watched = nullptr;
std::vector<std::pair<DWORD, LONG>> events;
std::vector<std::wstring> values;

void CALLBACK Hook(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (window != watched) return;
    events.emplace_back(event, object);
    IAccessible* accessible = nullptr;
    VARIANT self;
    BSTR value = nullptr;
    if (event == EVENT_OBJECT_VALUECHANGE &&
        SUCCEEDED(AccessibleObjectFromEvent(window, object, child, &accessible, &self))) {
        accessible->get_accValue(self, &value);
        values.push_back(Take(value));
        accessible->Release();
    }
}

}  // namespace

// The other process reads role, name, state and value, follows a caret move
// through its events, and finds the UI Automation element's properties.
TEST(PaneAccessibility, AnotherProcessReadsThePaneFollowsTheCaretThroughEventsAndFindsItsElement) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" --pane-host";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION host{};
    ASSERT_TRUE(
        CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &host));
    HWND pane = nullptr;
    EXPECT_TRUE(wintest::WaitUntil([&] {
        DWORD process = 0;
        pane = FindWindowW(kClass, nullptr);
        return pane && GetWindowThreadProcessId(pane, &process) && process == host.dwProcessId;
    }));

    IAccessible* accessible = nullptr;
    ASSERT_HRESULT_SUCCEEDED(AccessibleObjectFromWindow(pane, OBJID_CLIENT, __uuidof(IAccessible),
                                                        reinterpret_cast<void**>(&accessible)));
    VARIANT self{}, role{}, state{};
    V_VT(&self) = VT_I4, V_I4(&self) = CHILDID_SELF;
    const auto string = [&](HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*)) {
        BSTR text = nullptr;
        return SUCCEEDED((accessible->*get)(self, &text)) ? Take(text) : L"(failed)";
    };
    EXPECT_HRESULT_SUCCEEDED(accessible->get_accRole(self, &role));
    EXPECT_EQ(V_I4(&role), ROLE_SYSTEM_TEXT);
    EXPECT_EQ(string(&IAccessible::get_accName), L"Results");
    EXPECT_EQ(string(&IAccessible::get_accValue), L"first line");
    EXPECT_HRESULT_SUCCEEDED(accessible->get_accState(self, &state));
    GUITHREADINFO focus{};
    focus.cbSize = sizeof(focus);
    GetGUIThreadInfo(host.dwThreadId, &focus);
    EXPECT_EQ(V_I4(&state), STATE_SYSTEM_READONLY | STATE_SYSTEM_FOCUSABLE |
                                (focus.hwndFocus == pane ? STATE_SYSTEM_FOCUSED : 0));

    // A caret moved into the second line: its selection, the caret's place,
    // and the new value read from the value event.
    watched = pane;
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_TEXTSELECTIONCHANGED,
                                               nullptr, &Hook, host.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    SendMessageW(pane, kMoveCaret, 15, 0);
    const std::vector<std::pair<DWORD, LONG>> expected = {{EVENT_OBJECT_TEXTSELECTIONCHANGED, OBJID_CLIENT},
                                                          {EVENT_OBJECT_LOCATIONCHANGE, OBJID_CARET},
                                                          {EVENT_OBJECT_VALUECHANGE, OBJID_CLIENT}};
    EXPECT_TRUE(wintest::WaitUntil([&] {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        return events.size() >= expected.size();
    }));
    UnhookWinEvent(hook);
    EXPECT_EQ(events, expected);
    EXPECT_EQ(values, std::vector<std::wstring>{L"second line"});

    const auto nodeFromHandle = Uia<HRESULT(WINAPI*)(HWND, void**)>("UiaNodeFromHandle");
    const auto property = Uia<HRESULT(WINAPI*)(void*, PROPERTYID, VARIANT*)>("UiaGetPropertyValue");
    const auto release = Uia<BOOL(WINAPI*)(void*)>("UiaNodeRelease");
    void* node = nullptr;
    ASSERT_HRESULT_SUCCEEDED(nodeFromHandle(pane, &node));
    VARIANT found[3] = {};
    property(node, UIA_NamePropertyId, &found[0]);
    property(node, UIA_ControlTypePropertyId, &found[1]);
    property(node, UIA_IsKeyboardFocusablePropertyId, &found[2]);
    EXPECT_EQ(V_VT(&found[0]) == VT_BSTR ? Take(V_BSTR(&found[0])) : L"", L"Results");
    EXPECT_TRUE(V_VT(&found[1]) == VT_I4 && V_I4(&found[1]) == UIA_DocumentControlTypeId);
    EXPECT_TRUE(V_VT(&found[2]) == VT_BOOL && V_BOOL(&found[2]) == VARIANT_TRUE);
    release(node);

    PostMessageW(pane, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(host.hProcess, 30000), WAIT_OBJECT_0);
    accessible->Release();
    TerminateProcess(host.hProcess, 99);  // only if it failed to end
    CloseHandle(host.hThread);
    CloseHandle(host.hProcess);
    CoUninitialize();
}

// The text pattern on a pane of 100,000 lines: bounded text, the selection,
// line moves, a range from a point, its rectangles, selecting; then the pane
// goes while a client holds its objects.
TEST(PaneAccessibility, TextPatternGivesBoundedTextSelectionLinesAndPointsAndFailsOnceThePaneIsGone) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring content;
    for (int i = 0; i < 100000; ++i) content += L"line " + std::to_wstring(i) + L"\r\n";
    auto pane = std::make_unique<TestPane>(content);
    pane->Select(2, 7);
    IRawElementProviderSimple* element = pane->access.Element();
    ASSERT_NE(element, nullptr);
    IUnknown* pattern = nullptr;
    ASSERT_HRESULT_SUCCEEDED(element->GetPatternProvider(UIA_TextPatternId, &pattern));
    const ComPtr<ITextProvider> text(static_cast<ITextProvider*>(pattern));
    ITextRangeProvider* raw = nullptr;
    ASSERT_HRESULT_SUCCEEDED(text.get()->get_DocumentRange(&raw));
    const ComPtr<ITextRangeProvider> document(raw);
    BSTR got = nullptr;
    const auto read = [&](ITextRangeProvider* range, int maxLength = -1) {
        return SUCCEEDED(range->GetText(maxLength, &got)) ? Take(got) : L"(failed)";
    };
    EXPECT_EQ(read(document.get(), 9), L"line 0\r\nl");
    EXPECT_EQ(read(document.get()).size(), content.size());
    EXPECT_EQ(document.get()->GetText(-2, &got), E_INVALIDARG);

    SAFEARRAY* array = nullptr;
    text.get()->GetSelection(&array);
    const ComPtr<ITextRangeProvider> selection = First(array);
    ASSERT_TRUE(selection);
    EXPECT_EQ(read(selection.get()), L"ne 0\r");
    int moved = 0;
    selection.get()->ExpandToEnclosingUnit(TextUnit_Line);
    EXPECT_HRESULT_SUCCEEDED(selection.get()->Move(TextUnit_Line, 1, &moved));
    EXPECT_EQ(moved, 1);
    EXPECT_EQ(read(selection.get()), L"line 1\r\n");
    text.get()->GetVisibleRanges(&array);
    const ComPtr<ITextRangeProvider> visible = First(array);
    ASSERT_TRUE(visible);
    EXPECT_EQ(read(visible.get()), content.substr(0, content.find(L"line 10\r\n")));

    // A point in the third row, fourth cell; the rectangle of the second line.
    POINT origin{0, 0};
    ClientToScreen(pane->Window(), &origin);
    EXPECT_HRESULT_SUCCEEDED(text.get()->RangeFromPoint({origin.x + 3.5 * kCell, origin.y + 2.5 * kLineHeight}, &raw));
    const ComPtr<ITextRangeProvider> pointed(raw);
    int order = 0;
    pointed.get()->CompareEndpoints(TextPatternRangeEndpoint_Start, document.get(), TextPatternRangeEndpoint_Start,
                                    &order);
    EXPECT_EQ(order, 16 + 3);
    EXPECT_HRESULT_SUCCEEDED(selection.get()->GetBoundingRectangles(&array));
    const SafeArray rectangles(array);
    double* values = nullptr;
    ASSERT_TRUE(array && array->rgsabound[0].cElements == 4 &&
                SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&values))));
    const std::vector<double> line1{double(origin.x), double(origin.y + kLineHeight), 6.0 * kCell, kLineHeight};
    EXPECT_EQ(std::vector<double>(values, values + 4), line1);
    SafeArrayUnaccessData(array);
    VARIANT readOnly;
    EXPECT_TRUE(SUCCEEDED(selection.get()->GetAttributeValue(UIA_IsReadOnlyAttributeId, &readOnly)) &&
                V_VT(&readOnly) == VT_BOOL && V_BOOL(&readOnly) == VARIANT_TRUE);
    selection.get()->Select();
    EXPECT_TRUE(pane->Anchor() == 8 && pane->Caret() == 16) << pane->Anchor() << " " << pane->Caret();

    // Held past the window's end, each object fails instead of reading freed memory.
    IAccessible* accessible = nullptr;
    ASSERT_HRESULT_SUCCEEDED(AccessibleObjectFromWindow(pane->Window(), OBJID_CLIENT, __uuidof(IAccessible),
                                                        reinterpret_cast<void**>(&accessible)));
    element->AddRef();
    pane.reset();
    VARIANT self{}, value{};
    V_VT(&self) = VT_I4, V_I4(&self) = CHILDID_SELF;
    EXPECT_EQ(element->GetPropertyValue(UIA_NamePropertyId, &value), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
    EXPECT_EQ(selection.get()->Move(TextUnit_Line, 1, &moved), static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE));
    EXPECT_FALSE(SUCCEEDED(accessible->get_accName(self, &got)));
    accessible->Release();
    element->Release();
    CoUninitialize();
}
