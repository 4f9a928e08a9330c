#include "ui/ResultPane.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <utility>

#include "support/UniqueHandle.h"
#include "ui/PaneAccessibility.h"
#include "ui/PaneModel.h"
#include "ui/PaneText.h"
#include "ui/UniscribeLayout.h"

namespace {

constexpr UINT_PTR kDragTimer = 1;
constexpr UINT kDragIntervalMs = 50;
enum : UINT { kMenuCopy = 1, kMenuSelectAll };
static_assert(WHEEL_DELTA == PaneModel::kWheelNotch && WHEEL_PAGESCROLL == PaneModel::kWheelPage);

// An assistive tool's call, which must not see an exception: laying a line
// out may run out of memory, and then the call gives `otherwise`.
template <typename Call, typename Result>
Result ForClient(Call call, Result otherwise) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return otherwise;
    }
}

class ResultPane final : private PaneAccessSource {
public:
    explicit ResultPane(HWND window) : window(window), layout(window), model(ownText, layout) { Measure(); }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Attach(PaneText& text) { Apply(model.Attach(text)); }

private:
    // Does what a change of the model asks: repaint, caret, scroll bars.
    void Apply(const PaneChange& change);
    PaneChange Measure();
    void SetFont(HFONT newFont, bool redraw);
    void Paint();
    void PaintLine(HDC dc, std::size_t line, int top, COLORREF textColor);
    void UpdateScrollBars();
    void PlaceCaret();
    void Copy() const;
    void KeyDown(UINT key);
    void Scroll(int bar, UINT request);
    void MouseDown(int x, int y, bool extend);
    void DragTo(int x, int y);
    void DragTick();
    void StopDrag();
    void ContextMenu(LPARAM at);
    void TellArrivedText();

    // What assistive tools read and do (ui/PaneAccessibility.h).
    const PaneText& Text() const override { return model.Text(); }
    std::size_t Anchor() const override { return model.Anchor(); }
    std::size_t Caret() const override { return model.Caret(); }
    std::size_t FirstVisibleLine() const override { return model.FirstLine(); }
    std::size_t VisibleLines() const override {
        const auto [first, end] = model.VisibleLines();
        return end - first;
    }
    RECT SpanRectangle(std::size_t from, std::size_t to) const override;
    std::size_t PositionAt(POINT client) const override;
    void Select(std::size_t newAnchor, std::size_t newCaret) override;
    void ScrollIntoView(std::size_t position) override;
    HWND Window() const override { return window; }
    bool Focused() const override { return model.Focused(); }

    HWND window;
    PaneText ownText;  // shown until a text is attached
    UniscribeLayout layout;
    PaneModel model;
    bool dragging = false;
    DWORD limit = ~DWORD{0};
    SCROLLINFO shownBars[2] = {};
    bool textUntold = false;  // text changed since assistive tools were last told
    PaneAccessibility access{*this};  // first to go: it reads the rest until disconnected
};

LRESULT ResultPane::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    // Edit messages carry 32-bit positions, -1 and other negatives included.
    const int first = static_cast<int>(wParam), second = static_cast<int>(lParam);
    const auto* const given = reinterpret_cast<const wchar_t*>(lParam);
    switch (message) {
    case WM_SETTEXT: Apply(model.SetText(given, given ? std::wcslen(given) : 0)); return TRUE;
    case WM_GETTEXT: return static_cast<LRESULT>(model.GetText(wParam, reinterpret_cast<wchar_t*>(lParam)));
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(model.Text().Length());
    case WM_SETFONT: SetFont(reinterpret_cast<HFONT>(wParam), LOWORD(lParam) != 0); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(layout.Font());
    case WM_COPY: Copy(); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
    case EM_REPLACESEL: Apply(model.ReplaceSelection(given, given ? std::wcslen(given) : 0)); return 0;
    case EM_SETSEL: Apply(model.SetSelection(first, second)); return 0;
    case EM_GETSEL:
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(model.SelectionStart());
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(model.SelectionEnd());
        return static_cast<LRESULT>(model.PackedSelection());
    case EM_SCROLLCARET: Apply(model.ScrollCaretIntoView()); return TRUE;
    case EM_GETLINECOUNT: return static_cast<LRESULT>(model.Text().LineCount());
    case EM_LINEFROMCHAR: return static_cast<LRESULT>(model.LineFromChar(first));
    case EM_LINEINDEX: return static_cast<LRESULT>(model.LineIndex(first));
    case EM_LINELENGTH: return static_cast<LRESULT>(model.LineLength(first));
    case EM_GETFIRSTVISIBLELINE: return static_cast<LRESULT>(model.FirstLine());
    case EM_SETLIMITTEXT: limit = wParam ? static_cast<DWORD>(wParam) : ~DWORD{0}; return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(limit);
    case WM_PAINT:
        Paint();
        TellArrivedText();
        return 0;
    case WM_ERASEBKGND: return 1;  // painted with the text
    case WM_SIZE: Apply(model.Resize(LOWORD(lParam), HIWORD(lParam))); return 0;
    case WM_ENABLE: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_SETFOCUS:
        CreateCaret(window, nullptr, 1, model.LineHeight());
        Apply(model.SetFocused(true));
        ShowCaret(window);
        return 0;
    case WM_KILLFOCUS:
        Apply(model.SetFocused(false));
        DestroyCaret();
        return 0;
    case WM_VSCROLL: Scroll(SB_VERT, LOWORD(wParam)); return 0;
    case WM_HSCROLL: Scroll(SB_HORZ, LOWORD(wParam)); return 0;
    case WM_MOUSEWHEEL: {
        UINT perNotch = 3;
        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
        Apply(model.Wheel(GET_WHEEL_DELTA_WPARAM(wParam), perNotch));
        return 0;
    }
    case WM_LBUTTONDOWN:
        MouseDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), (wParam & MK_SHIFT) != 0);
        return 0;
    case WM_LBUTTONDBLCLK: Apply(model.DoubleClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))); return 0;
    case WM_MOUSEMOVE:
        if (dragging) DragTo(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == kDragTimer) DragTick();
        return 0;
    case WM_LBUTTONUP:
        if (dragging) ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED: StopDrag(); return 0;
    case WM_KEYDOWN: KeyDown(static_cast<UINT>(wParam)); return 0;
    case WM_CHAR:
        if (wParam == 1) Apply(model.SelectAll());  // Ctrl+A
        if (wParam == 3) Copy();                     // Ctrl+C
        return 0;
    case WM_CONTEXTMENU: ContextMenu(lParam); return 0;
    case WM_GETOBJECT: {
        bool handled = false;
        const LRESULT answer = access.AnswerGetObject(wParam, lParam, handled);
        return handled ? answer : DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_DESTROY: access.Disconnect(); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ResultPane::Apply(const PaneChange& change) {
    if (change.repaintFrom != PaneChange::kNoRow) {
        const auto top = static_cast<LONG>(std::min<std::size_t>(change.repaintFrom, INT_MAX / 2 / model.LineHeight()));
        const RECT rows{0, top * model.LineHeight(), model.ClientWidth(), model.ClientHeight()};
        InvalidateRect(window, top == 0 ? nullptr : &rows, FALSE);
    }
    if (change.caretMoved) PlaceCaret();
    UpdateScrollBars();
    // Lines arrive in many small inserts and are repainted at the stream's
    // pace: they, and the caret's move with them, are told at that repaint.
    if (change.textChanged) textUntold = true;
    else if (change.selectionChanged) access.NotifySelectionChanged();
}

void ResultPane::TellArrivedText() {
    if (!textUntold) return;
    textUntold = false;
    access.NotifyTextChanged();
    access.NotifySelectionChanged();
}

RECT ResultPane::SpanRectangle(std::size_t from, std::size_t to) const {
    return ForClient([&] {
        const auto [left, top] = model.PointOf(from);
        return RECT{left, top, from == to ? left : model.PointOf(to).first, top + model.LineHeight()};
    }, RECT{});
}

std::size_t ResultPane::PositionAt(POINT client) const {
    return ForClient([&] { return model.StopAt(client.x, client.y); }, model.Caret());
}

// Out of memory, the caret or the view stops where it got; the next move mends it.
void ResultPane::Select(std::size_t newAnchor, std::size_t newCaret) {
    ForClient([&] { return Apply(model.Select(newAnchor, newCaret)), true; }, false);
}

void ResultPane::ScrollIntoView(std::size_t position) {
    ForClient([&] { return Apply(model.ScrollIntoView(position)), true; }, false);
}

PaneChange ResultPane::Measure() {
    const auto [lineHeight, charWidth] = layout.Metrics();
    return model.SetMetrics(lineHeight, charWidth);
}

void ResultPane::SetFont(HFONT newFont, bool redraw) {
    layout.SetFont(newFont);
    const PaneChange change = Measure();
    if (model.Focused()) {
        DestroyCaret();
        CreateCaret(window, nullptr, 1, model.LineHeight());
        ShowCaret(window);
    }
    Apply(change);
    if (redraw) InvalidateRect(window, nullptr, FALSE);
}

void ResultPane::Paint() {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    const HWND parent = GetParent(window);
    // A read-only edit takes its colours from the parent as a static would.
    auto brush = reinterpret_cast<HBRUSH>(
        parent ? SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(window))
               : 0);
    if (!brush)
        brush = reinterpret_cast<HBRUSH>(DefWindowProcW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                        reinterpret_cast<LPARAM>(window)));
    FillRect(dc, &paint.rcPaint, brush);
    const COLORREF textColor = IsWindowEnabled(window) ? GetTextColor(dc) : GetSysColor(COLOR_GRAYTEXT);
    const HGDIOBJ oldFont = layout.Font() ? SelectObject(dc, layout.Font()) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    const int lineHeight = model.LineHeight();
    for (int top = paint.rcPaint.top / lineHeight * lineHeight; top < paint.rcPaint.bottom; top += lineHeight) {
        const std::size_t line = model.FirstLine() + static_cast<std::size_t>(top / lineHeight);
        if (line >= model.Text().LineCount()) break;
        PaintLine(dc, line, top, textColor);
    }
    if (oldFont) SelectObject(dc, oldFont);
    EndPaint(window, &paint);
    UpdateScrollBars();  // the lines drawn may be wider than known
}

void ResultPane::PaintLine(HDC dc, std::size_t line, int top, COLORREF textColor) {
    const std::wstring shown = model.LineText(line);
    const LineLayout shape(dc, shown);
    const int left = PaneModel::kMargin - model.XOffset();
    model.Drawn(shape.Width());
    const PaneModel::LineSelection selection = model.SelectionIn(line);
    if (selection.shown) {
        // The full row's height, and a sliver after the line for a selected line break.
        RECT selected{left + shape.X(selection.from), top, left + shape.X(selection.to), top + model.LineHeight()};
        if (selection.lineBreak) selected.right += model.CharWidth() / 2;
        FillRect(dc, &selected, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    SetTextColor(dc, textColor);
    shape.Draw(left, top, selection.from, selection.to);
}

void ResultPane::UpdateScrollBars() {
    const int maxLine = static_cast<int>(std::min<std::size_t>(model.Text().LineCount() - 1, INT_MAX));
    const SCROLLINFO bars[2] = {
        {sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, model.ContentWidth() - 1,
         static_cast<UINT>(std::max(model.ClientWidth(), 0)), model.XOffset(), 0},
        {sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, maxLine,
         static_cast<UINT>(model.Rows()), static_cast<int>(std::min<std::size_t>(model.FirstLine(), INT_MAX)), 0},
    };
    // Each change costs the frame a repaint: set only what changed.
    for (const int bar : {SB_HORZ, SB_VERT}) {
        if (std::memcmp(&bars[bar], &shownBars[bar], sizeof(SCROLLINFO)) == 0) continue;
        shownBars[bar] = bars[bar];
        SetScrollInfo(window, bar, &bars[bar], TRUE);
    }
}

void ResultPane::PlaceCaret() {
    if (!model.Focused()) return;
    const auto [x, y] = model.PointOf(model.Caret());
    SetCaretPos(x, y);
}

void ResultPane::Copy() const {
    const std::size_t start = model.SelectionStart(), count = model.SelectionEnd() - start;
    if (count == 0) return;
    // Filled before the clipboard is emptied: without the memory the user's
    // clipboard stays as it was.
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, (count + 1) * sizeof(wchar_t)));
    auto* const out = memory ? static_cast<wchar_t*>(GlobalLock(memory.get())) : nullptr;
    if (!out) return;
    model.Text().CopyTo(start, count, out);
    out[count] = L'\0';
    GlobalUnlock(memory.get());
    if (!OpenClipboard(window)) return;
    EmptyClipboard();
    if (SetClipboardData(CF_UNICODETEXT, memory.get())) memory.release();  // the clipboard's now
    CloseClipboard();
}

void ResultPane::KeyDown(UINT key) {
    static constexpr std::pair<UINT, PaneKey> kKeys[] = {
        {VK_LEFT, PaneKey::Left},    {VK_RIGHT, PaneKey::Right},   {VK_UP, PaneKey::Up},
        {VK_DOWN, PaneKey::Down},    {VK_PRIOR, PaneKey::PageUp},  {VK_NEXT, PaneKey::PageDown},
        {VK_HOME, PaneKey::Home},    {VK_END, PaneKey::End}};
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (key == VK_INSERT && control) Copy();
    for (const auto& [virtualKey, paneKey] : kKeys)
        if (virtualKey == key) Apply(model.Key(paneKey, GetKeyState(VK_SHIFT) < 0, control));
}

void ResultPane::Scroll(int bar, UINT request) {
    static constexpr std::pair<UINT, PaneScroll> kRequests[] = {
        {SB_LINEUP, PaneScroll::LineUp}, {SB_LINEDOWN, PaneScroll::LineDown}, {SB_PAGEUP, PaneScroll::PageUp},
        {SB_PAGEDOWN, PaneScroll::PageDown}, {SB_TOP, PaneScroll::Top}, {SB_BOTTOM, PaneScroll::Bottom},
        {SB_THUMBTRACK, PaneScroll::Thumb}, {SB_THUMBPOSITION, PaneScroll::Thumb}};
    for (const auto& [code, scroll] : kRequests) {
        if (code != request) continue;
        // The message carries 16 bits of the position; the bar holds all 32.
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_TRACKPOS, 0, 0, 0, 0, 0};
        if (scroll == PaneScroll::Thumb) GetScrollInfo(window, bar, &info);
        Apply(model.Scroll(bar == SB_VERT, scroll, info.nTrackPos));
    }
}

void ResultPane::MouseDown(int x, int y, bool extend) {
    SetFocus(window);
    Apply(model.Click(x, y, extend));
    dragging = true;
    SetCapture(window);
}

void ResultPane::DragTo(int x, int y) {
    // Past an edge the drag timer scrolls towards the pointer.
    if (model.Outside(x, y)) SetTimer(window, kDragTimer, kDragIntervalMs, nullptr);
    else KillTimer(window, kDragTimer);
    Apply(model.DragTo(x, y));
}

void ResultPane::DragTick() {
    POINT pointer{};
    GetCursorPos(&pointer);
    ScreenToClient(window, &pointer);
    Apply(model.DragScroll(pointer.x, pointer.y));
    DragTo(pointer.x, pointer.y);
}

void ResultPane::StopDrag() {
    dragging = false;
    KillTimer(window, kDragTimer);
}

void ResultPane::ContextMenu(LPARAM at) {
    if (GetFocus() != window) SetFocus(window);
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1) {  // from the keyboard: at the caret
        GetCaretPos(&point);
        point.y += model.LineHeight();
        ClientToScreen(window, &point);
    }
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    wchar_t copyText[64] = {}, selectAllText[64] = {};
    LoadStringW(instance, IDS_PANE_COPY, copyText, 64);
    LoadStringW(instance, IDS_PANE_SELECT_ALL, selectAllText, 64);
    const MenuHandle menu(CreatePopupMenu());
    if (!menu) return;
    AppendMenuW(menu.get(), MF_STRING | (model.Anchor() == model.Caret() ? MF_GRAYED : 0), kMenuCopy, copyText);
    AppendMenuW(menu.get(), MF_STRING | (model.Text().Length() == 0 ? MF_GRAYED : 0), kMenuSelectAll, selectAllText);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, point.x, point.y, 0, window, nullptr));
    if (chosen == kMenuCopy) Copy();
    if (chosen == kMenuSelectAll) Apply(model.SelectAll());
}

LRESULT CALLBACK PaneProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* pane = reinterpret_cast<ResultPane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    try {
        if (message == WM_NCCREATE) {
            pane = new ResultPane(window);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pane));
            const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            if (create->lpszName && !IS_INTRESOURCE(create->lpszName))
                pane->Handle(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(create->lpszName));
        }
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            delete pane;
            pane = nullptr;
        }
        if (pane && message != WM_NCCREATE) return pane->Handle(message, wParam, lParam);
    } catch (...) {
        // Out of memory: the change stops where it failed.
        if (message == WM_NCCREATE) return FALSE;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

bool AttachPaneText(HWND pane, PaneText& text) {
    wchar_t className[64] = {};
    if (GetWindowThreadProcessId(pane, nullptr) != GetCurrentThreadId() || GetClassNameW(pane, className, 64) == 0 ||
        lstrcmpW(className, kResultPaneClass) != 0)
        return false;
    auto* const owner = reinterpret_cast<ResultPane*>(GetWindowLongPtrW(pane, GWLP_USERDATA));
    if (owner) owner->Attach(text);
    return owner != nullptr;
}

bool RegisterResultPane() {
    WNDCLASSEXW type{};
    type.cbSize = sizeof(type);
    // Global: dialog templates name it from whichever module holds them.
    type.style = CS_DBLCLKS | CS_GLOBALCLASS;
    type.lpfnWndProc = &PaneProcedure;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    type.lpszClassName = kResultPaneClass;
    return RegisterClassExW(&type) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}
