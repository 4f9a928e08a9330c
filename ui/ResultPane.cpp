#include "ui/ResultPane.h"

#include <usp10.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "support/UniqueHandle.h"
#include "ui/PaneText.h"

namespace {

constexpr int kMargin = 2;  // pixels left of the text, as an edit leaves
constexpr UINT_PTR kDragTimer = 1;
constexpr UINT kDragIntervalMs = 50;
enum : UINT { kMenuCopy = 1, kMenuSelectAll };

// A device context of the window with the pane's font, for measuring.
class MeasuringDc {
public:
    MeasuringDc(HWND window, HFONT font) : dc(window) {
        if (font && dc) SelectObject(dc.get(), font);
    }
    operator HDC() const { return dc.get(); }

private:
    WindowDc dc;
};

// One line laid out in the DC's font. Glyphs the font lacks (CJK in a Latin
// font) come from a fallback font, as an edit draws them, and count as wide
// as they are drawn.
class LineLayout {
public:
    LineLayout(HDC dc, const std::wstring& line) : length(line.size()) {
        if (line.empty() ||
            FAILED(ScriptStringAnalyse(dc, line.data(), static_cast<int>(line.size()),
                                       static_cast<int>(line.size() * 3 / 2 + 16), -1,
                                       SSA_GLYPHS | SSA_FALLBACK | SSA_LINK, 0, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, &analysis)))
            analysis = nullptr;
    }
    ~LineLayout() {
        if (analysis) ScriptStringFree(&analysis);
    }
    LineLayout(const LineLayout&) = delete;
    LineLayout& operator=(const LineLayout&) = delete;

    int Width() const {
        const SIZE* size = analysis ? ScriptString_pSize(analysis) : nullptr;
        return size ? size->cx : 0;
    }
    // Pixels from the line's start to the caret stop `position`.
    int X(std::size_t position) const {
        if (position == 0 || !analysis) return 0;
        if (position >= length) return Width();
        int x = 0;
        ScriptStringCPtoX(analysis, static_cast<int>(position), FALSE, &x);
        return x;
    }
    // The caret stop nearest to `x` pixels from the line's start.
    std::size_t StopAt(int x) const {
        if (x <= 0 || !analysis) return 0;
        if (x >= Width()) return length;
        int position = 0, trailing = 0;
        ScriptStringXtoCP(analysis, x, &position, &trailing);
        return std::min(static_cast<std::size_t>(position + trailing), length);
    }
    // Draws the line in the DC's text colour, [from, to) in the selection's colours.
    void Draw(int x, int y, std::size_t from, std::size_t to) const {
        if (analysis)
            ScriptStringOut(analysis, x, y, 0, nullptr, static_cast<int>(from), static_cast<int>(to), FALSE);
    }

private:
    std::size_t length;
    SCRIPT_STRING_ANALYSIS analysis = nullptr;
};

class ResultPane {
public:
    explicit ResultPane(HWND window) : window(window) { Measure(); }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    const PaneText& Text() const { return text; }

private:
    std::size_t SelectionStart() const { return std::min(anchor, caret); }
    std::size_t SelectionEnd() const { return std::max(anchor, caret); }
    std::size_t Rows() const { return static_cast<std::size_t>(std::max(1, clientHeight / lineHeight)); }
    std::size_t LastFirstLine() const { return text.LineCount() > Rows() ? text.LineCount() - Rows() : 0; }
    int ContentWidth() const {
        const std::size_t estimate = std::min<std::size_t>(text.LongestLine(), INT_MAX / 2 / charWidth);
        return std::max(static_cast<int>(estimate) * charWidth, widestSeen) + 2 * kMargin;
    }
    std::wstring LineText(std::size_t line) const { return text.Text(text.LineStart(line), text.LineLength(line)); }
    // The caret's offset in pixels from the start of its line's text.
    int CaretX() const;
    // The caret stop under a point of the client area, clamped to the text.
    std::size_t StopAtPoint(int x, int y) const;

    void Measure();
    void SetFont(HFONT newFont, bool redraw);
    void Paint();
    void PaintLine(HDC dc, std::size_t line, int top, COLORREF textColor);
    void UpdateScrollBars();
    void PlaceCaret();
    void ScrollTo(std::ptrdiff_t line, int x);
    void ScrollCaretIntoView();
    void Select(std::size_t newAnchor, std::size_t newCaret);
    void MoveCaret(std::size_t to, bool extend) {
        Select(extend ? anchor : to, to);
        ScrollCaretIntoView();
    }
    void ReplaceSelection(const wchar_t* inserted);
    void SetText(const wchar_t* newText);
    LRESULT GetText(std::size_t capacity, wchar_t* out) const;
    void Copy() const;
    void KeyDown(UINT key);
    void VerticalMove(std::ptrdiff_t lines, bool extend);
    void Scroll(int bar, UINT request);
    void Wheel(int delta);
    void MouseDown(int x, int y, bool extend);
    void DragTo(int x, int y);
    void DragTick();
    void StopDrag();
    void ContextMenu(LPARAM at);

    HWND window;
    PaneText text;
    // The selection runs from anchor to caret; the caret is where it grows.
    std::size_t anchor = 0, caret = 0;
    std::size_t firstLine = 0;
    int xOffset = 0;
    HFONT font = nullptr;
    int lineHeight = 16, charWidth = 8;
    // Widest line painted or scrolled to, in pixels: the estimate from the
    // longest line in characters misses glyphs wider than the average.
    int widestSeen = 0;
    int clientWidth = 0, clientHeight = 0;
    // Where vertical caret moves aim, in pixels from a line's start; -1 unset.
    int goalX = -1;
    int wheelRest = 0;
    bool focused = false, dragging = false;
    DWORD limit = ~DWORD{0};
    SCROLLINFO shownBars[2] = {};
};

LRESULT ResultPane::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    const auto position = [this](WPARAM value) {
        const int signedValue = static_cast<int>(value);
        return signedValue < 0 ? text.Length() : std::min<std::size_t>(static_cast<UINT>(signedValue), text.Length());
    };
    switch (message) {
    case WM_SETTEXT: SetText(reinterpret_cast<const wchar_t*>(lParam)); return TRUE;
    case WM_GETTEXT: return GetText(wParam, reinterpret_cast<wchar_t*>(lParam));
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(text.Length());
    case WM_SETFONT: SetFont(reinterpret_cast<HFONT>(wParam), LOWORD(lParam) != 0); return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(font);
    case WM_COPY: Copy(); return 0;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
    case EM_REPLACESEL: ReplaceSelection(reinterpret_cast<const wchar_t*>(lParam)); return 0;
    case EM_SETSEL:
        // A start of -1 keeps the caret and drops the selection.
        if (static_cast<int>(wParam) == -1) Select(caret, caret);
        else Select(position(wParam), position(static_cast<WPARAM>(lParam)));
        return 0;
    case EM_GETSEL: {
        const std::size_t start = SelectionStart(), end = SelectionEnd();
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(start);
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(end);
        return end > 0xFFFF ? -1 : MAKELRESULT(start, end);
    }
    case EM_SCROLLCARET: ScrollCaretIntoView(); return TRUE;
    case EM_GETLINECOUNT: return static_cast<LRESULT>(text.LineCount());
    case EM_LINEFROMCHAR:
        return static_cast<LRESULT>(text.LineOf(static_cast<int>(wParam) == -1 ? SelectionStart() : position(wParam)));
    case EM_LINEINDEX: {
        const std::size_t line = static_cast<int>(wParam) == -1 ? text.LineOf(caret) : static_cast<UINT>(wParam);
        return line < text.LineCount() ? static_cast<LRESULT>(text.LineStart(line)) : -1;
    }
    case EM_LINELENGTH: {
        if (static_cast<int>(wParam) != -1) return static_cast<LRESULT>(text.LineLength(text.LineOf(position(wParam))));
        // The unselected characters of the lines the selection touches.
        const std::size_t first = text.LineOf(SelectionStart()), last = text.LineOf(SelectionEnd());
        return static_cast<LRESULT>(SelectionStart() - text.LineStart(first) + text.LineStart(last) +
                                    text.LineLength(last) - SelectionEnd());
    }
    case EM_GETFIRSTVISIBLELINE: return static_cast<LRESULT>(firstLine);
    case EM_SETLIMITTEXT: limit = wParam ? static_cast<DWORD>(wParam) : ~DWORD{0}; return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(limit);
    case WM_PAINT: Paint(); return 0;
    case WM_ERASEBKGND: return 1;  // painted with the text
    case WM_SIZE:
        clientWidth = LOWORD(lParam), clientHeight = HIWORD(lParam);
        ScrollTo(static_cast<std::ptrdiff_t>(firstLine), xOffset);
        return 0;
    case WM_ENABLE: InvalidateRect(window, nullptr, FALSE); return 0;
    case WM_SETFOCUS:
        focused = true;
        CreateCaret(window, nullptr, 1, lineHeight);
        PlaceCaret();
        ShowCaret(window);
        InvalidateRect(window, nullptr, FALSE);  // the selection shows only while focused
        return 0;
    case WM_KILLFOCUS:
        focused = false;
        DestroyCaret();
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_VSCROLL: Scroll(SB_VERT, LOWORD(wParam)); return 0;
    case WM_HSCROLL: Scroll(SB_HORZ, LOWORD(wParam)); return 0;
    case WM_MOUSEWHEEL: Wheel(GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
    case WM_LBUTTONDOWN:
        MouseDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), (wParam & MK_SHIFT) != 0);
        return 0;
    case WM_LBUTTONDBLCLK: {
        const auto [first, last] = text.WordAt(StopAtPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
        Select(first, last);
        return 0;
    }
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
        if (wParam == 1) Select(0, text.Length());  // Ctrl+A
        if (wParam == 3) Copy();                     // Ctrl+C
        return 0;
    case WM_CONTEXTMENU: ContextMenu(lParam); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ResultPane::Measure() {
    const MeasuringDc dc(window, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    lineHeight = std::max<int>(metrics.tmHeight, 1);
    charWidth = std::max<int>(metrics.tmAveCharWidth, 1);
    widestSeen = 0;
}

void ResultPane::SetFont(HFONT newFont, bool redraw) {
    font = newFont;
    Measure();
    if (focused) {
        DestroyCaret();
        CreateCaret(window, nullptr, 1, lineHeight);
        ShowCaret(window);
    }
    ScrollTo(static_cast<std::ptrdiff_t>(firstLine), xOffset);
    PlaceCaret();
    if (redraw) InvalidateRect(window, nullptr, FALSE);
}

int ResultPane::CaretX() const {
    const std::size_t line = text.LineOf(caret), start = text.LineStart(line);
    if (caret == start) return 0;
    const MeasuringDc dc(window, font);
    return LineLayout(dc, LineText(line)).X(caret - start);
}

std::size_t ResultPane::StopAtPoint(int x, int y) const {
    const std::ptrdiff_t row = y < 0 ? -1 - (-1 - y) / lineHeight : y / lineHeight;
    const std::size_t line = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(firstLine) + row, 0, static_cast<std::ptrdiff_t>(text.LineCount()) - 1));
    const MeasuringDc dc(window, font);
    return text.LineStart(line) + LineLayout(dc, LineText(line)).StopAt(x - kMargin + xOffset);
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
    const HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    const int widest = widestSeen;
    for (int top = paint.rcPaint.top / lineHeight * lineHeight; top < paint.rcPaint.bottom; top += lineHeight) {
        const std::size_t line = firstLine + static_cast<std::size_t>(top / lineHeight);
        if (line >= text.LineCount()) break;
        PaintLine(dc, line, top, textColor);
    }
    if (oldFont) SelectObject(dc, oldFont);
    EndPaint(window, &paint);
    if (widestSeen > widest) UpdateScrollBars();
}

void ResultPane::PaintLine(HDC dc, std::size_t line, int top, COLORREF textColor) {
    const std::wstring shown = LineText(line);
    const LineLayout layout(dc, shown);
    const int left = kMargin - xOffset;
    widestSeen = std::max(widestSeen, layout.Width());
    const std::size_t start = text.LineStart(line), end = start + shown.size();
    std::size_t from = 0, to = 0;
    if (focused && anchor != caret && SelectionStart() <= end && SelectionEnd() > start) {
        from = std::max(SelectionStart(), start) - start, to = std::min(SelectionEnd(), end) - start;
        // The full row's height, and a sliver after the line for a selected line break.
        RECT selected{left + layout.X(from), top, left + layout.X(to), top + lineHeight};
        if (SelectionEnd() > end && line + 1 < text.LineCount()) selected.right += charWidth / 2;
        FillRect(dc, &selected, GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    SetTextColor(dc, textColor);
    layout.Draw(left, top, from, to);
}

void ResultPane::UpdateScrollBars() {
    const int maxLine = static_cast<int>(std::min<std::size_t>(text.LineCount() - 1, INT_MAX));
    const SCROLLINFO bars[2] = {
        {sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, ContentWidth() - 1,
         static_cast<UINT>(std::max(clientWidth, 0)), xOffset, 0},
        {sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, maxLine,
         static_cast<UINT>(Rows()), static_cast<int>(std::min<std::size_t>(firstLine, INT_MAX)), 0},
    };
    // Each change costs the frame a repaint: set only what changed.
    for (const int bar : {SB_HORZ, SB_VERT}) {
        if (std::memcmp(&bars[bar], &shownBars[bar], sizeof(SCROLLINFO)) == 0) continue;
        shownBars[bar] = bars[bar];
        SetScrollInfo(window, bar, &bars[bar], TRUE);
    }
}

void ResultPane::PlaceCaret() {
    if (!focused) return;
    const std::size_t line = text.LineOf(caret);
    const int row = line < firstLine ? -2 : static_cast<int>(std::min<std::size_t>(line - firstLine, INT_MAX / 2 / lineHeight));
    SetCaretPos(kMargin - xOffset + CaretX(), row * lineHeight);
}

void ResultPane::ScrollTo(std::ptrdiff_t line, int x) {
    const std::size_t newFirst = static_cast<std::size_t>(std::clamp<std::ptrdiff_t>(
        line, 0, static_cast<std::ptrdiff_t>(LastFirstLine())));
    const int newX = std::clamp(x, 0, std::max(0, ContentWidth() - clientWidth));
    if (newFirst != firstLine || newX != xOffset) {
        firstLine = newFirst, xOffset = newX;
        InvalidateRect(window, nullptr, FALSE);
        PlaceCaret();
    }
    UpdateScrollBars();
}

void ResultPane::ScrollCaretIntoView() {
    const std::size_t line = text.LineOf(caret);
    std::size_t first = firstLine;
    if (line < first) first = line;
    else if (line >= first + Rows()) first = line - Rows() + 1;
    const int x = CaretX(), width = std::max(clientWidth - 2 * kMargin, 1);
    widestSeen = std::max(widestSeen, x + charWidth);
    int newX = xOffset;
    if (x < xOffset || x >= xOffset + width) newX = x < width ? 0 : x - width * 2 / 3;
    ScrollTo(static_cast<std::ptrdiff_t>(first), newX);
}

void ResultPane::Select(std::size_t newAnchor, std::size_t newCaret) {
    if (newAnchor != anchor || newCaret != caret) {
        if (focused && (anchor != caret || newAnchor != newCaret)) InvalidateRect(window, nullptr, FALSE);
        anchor = newAnchor, caret = newCaret;
    }
    goalX = -1;
    PlaceCaret();
}

void ResultPane::ReplaceSelection(const wchar_t* inserted) {
    const std::size_t start = SelectionStart(), end = SelectionEnd(), count = inserted ? std::wcslen(inserted) : 0;
    const std::size_t changedLine = text.LineOf(start);
    text.Replace(start, end, inserted, count);
    anchor = caret = start + count;
    goalX = -1;
    // Only the rows from the first changed line down need painting again.
    if (changedLine < firstLine + Rows() + 1) {
        RECT rows{0, 0, clientWidth, clientHeight};
        if (changedLine > firstLine) rows.top = static_cast<LONG>((changedLine - firstLine) * lineHeight);
        InvalidateRect(window, &rows, FALSE);
    }
    ScrollTo(static_cast<std::ptrdiff_t>(firstLine), xOffset);  // a shorter text may end above the view
    PlaceCaret();
}

void ResultPane::SetText(const wchar_t* newText) {
    text.Clear();
    if (newText) text.Append(newText, std::wcslen(newText));
    anchor = caret = 0;
    firstLine = 0, xOffset = 0, widestSeen = 0;
    InvalidateRect(window, nullptr, FALSE);
    UpdateScrollBars();
    Select(0, 0);
}

LRESULT ResultPane::GetText(std::size_t capacity, wchar_t* out) const {
    if (capacity == 0 || out == nullptr) return 0;
    const std::size_t count = std::min(capacity - 1, text.Length());
    text.CopyTo(0, count, out);
    out[count] = L'\0';
    return static_cast<LRESULT>(count);
}

void ResultPane::Copy() const {
    const std::size_t start = SelectionStart(), count = SelectionEnd() - start;
    if (count == 0 || !OpenClipboard(window)) return;
    EmptyClipboard();
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, (count + 1) * sizeof(wchar_t)));
    if (auto* out = memory ? static_cast<wchar_t*>(GlobalLock(memory.get())) : nullptr) {
        text.CopyTo(start, count, out);
        out[count] = L'\0';
        GlobalUnlock(memory.get());
        if (SetClipboardData(CF_UNICODETEXT, memory.get())) memory.release();  // the clipboard's now
    }
    CloseClipboard();
}

void ResultPane::KeyDown(UINT key) {
    const bool shift = GetKeyState(VK_SHIFT) < 0, control = GetKeyState(VK_CONTROL) < 0;
    const std::size_t line = text.LineOf(caret);
    switch (key) {
    case VK_LEFT: MoveCaret(text.Previous(caret), shift); break;
    case VK_RIGHT: MoveCaret(text.Next(caret), shift); break;
    case VK_UP: VerticalMove(-1, shift); break;
    case VK_DOWN: VerticalMove(1, shift); break;
    case VK_PRIOR: VerticalMove(-static_cast<std::ptrdiff_t>(Rows()), shift); break;
    case VK_NEXT: VerticalMove(static_cast<std::ptrdiff_t>(Rows()), shift); break;
    case VK_HOME: MoveCaret(control ? 0 : text.LineStart(line), shift); break;
    case VK_END: MoveCaret(control ? text.Length() : text.LineStart(line) + text.LineLength(line), shift); break;
    case VK_INSERT:
        if (control) Copy();
        break;
    default: break;
    }
}

void ResultPane::VerticalMove(std::ptrdiff_t lines, bool extend) {
    const int goal = goalX >= 0 ? goalX : CaretX();
    const auto line = static_cast<std::ptrdiff_t>(text.LineOf(caret));
    const auto target = static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(line + lines, 0, static_cast<std::ptrdiff_t>(text.LineCount()) - 1));
    // A page key moves the view with the caret.
    if (lines < -1 || lines > 1) ScrollTo(static_cast<std::ptrdiff_t>(firstLine) + lines, xOffset);
    std::size_t stop = text.LineStart(target);
    {
        const MeasuringDc dc(window, font);
        stop += LineLayout(dc, LineText(target)).StopAt(goal);
    }
    MoveCaret(stop, extend);
    goalX = goal;
}

void ResultPane::Scroll(int bar, UINT request) {
    const bool vertical = bar == SB_VERT;
    const int page = vertical ? static_cast<int>(Rows()) : std::max(clientWidth - charWidth, charWidth);
    const int step = vertical ? 1 : charWidth;
    const std::ptrdiff_t now = vertical ? static_cast<std::ptrdiff_t>(firstLine) : xOffset;
    std::ptrdiff_t to = now;
    switch (request) {
    case SB_LINEUP: to = now - step; break;
    case SB_LINEDOWN: to = now + step; break;
    case SB_PAGEUP: to = now - page; break;
    case SB_PAGEDOWN: to = now + page; break;
    case SB_TOP: to = 0; break;
    case SB_BOTTOM: to = PTRDIFF_MAX / 2; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        // The message carries 16 bits of the position; the bar holds all 32.
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_TRACKPOS, 0, 0, 0, 0, 0};
        GetScrollInfo(window, bar, &info);
        to = info.nTrackPos;
        break;
    }
    default: return;
    }
    if (vertical) ScrollTo(to, xOffset);
    else ScrollTo(static_cast<std::ptrdiff_t>(firstLine), static_cast<int>(std::clamp<std::ptrdiff_t>(to, 0, INT_MAX)));
}

void ResultPane::Wheel(int delta) {
    UINT perNotch = 3;
    SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &perNotch, 0);
    const int lines = perNotch == WHEEL_PAGESCROLL ? static_cast<int>(Rows()) : static_cast<int>(perNotch);
    wheelRest += delta;
    const int notches = wheelRest / WHEEL_DELTA;
    wheelRest -= notches * WHEEL_DELTA;
    if (notches != 0 && lines > 0) ScrollTo(static_cast<std::ptrdiff_t>(firstLine) - notches * lines, xOffset);
}

void ResultPane::MouseDown(int x, int y, bool extend) {
    SetFocus(window);
    const std::size_t stop = StopAtPoint(x, y);
    Select(extend ? anchor : stop, stop);
    dragging = true;
    SetCapture(window);
}

void ResultPane::DragTo(int x, int y) {
    const bool outside = x < 0 || y < 0 || x >= clientWidth || y >= clientHeight;
    // Past an edge the drag timer scrolls towards the pointer.
    if (outside) SetTimer(window, kDragTimer, kDragIntervalMs, nullptr);
    else KillTimer(window, kDragTimer);
    const std::size_t stop = StopAtPoint(std::clamp(x, 0, std::max(clientWidth - 1, 0)),
                                         std::clamp(y, 0, std::max(clientHeight - 1, 0)));
    Select(anchor, stop);
}

void ResultPane::DragTick() {
    POINT pointer{};
    GetCursorPos(&pointer);
    ScreenToClient(window, &pointer);
    // Faster the farther the pointer is past the edge.
    std::ptrdiff_t lines = 0;
    if (pointer.y < 0) lines = -1 + pointer.y / lineHeight;
    if (pointer.y >= clientHeight) lines = 1 + (pointer.y - clientHeight) / lineHeight;
    int x = xOffset;
    if (pointer.x < 0) x -= charWidth * (1 - pointer.x / charWidth);
    if (pointer.x >= clientWidth) x += charWidth * (1 + (pointer.x - clientWidth) / charWidth);
    ScrollTo(static_cast<std::ptrdiff_t>(firstLine) + lines, x);
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
        point.y += lineHeight;
        ClientToScreen(window, &point);
    }
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    wchar_t copyText[64] = {}, selectAllText[64] = {};
    LoadStringW(instance, IDS_PANE_COPY, copyText, 64);
    LoadStringW(instance, IDS_PANE_SELECT_ALL, selectAllText, 64);
    const MenuHandle menu(CreatePopupMenu());
    if (!menu) return;
    AppendMenuW(menu.get(), MF_STRING | (anchor == caret ? MF_GRAYED : 0), kMenuCopy, copyText);
    AppendMenuW(menu.get(), MF_STRING | (text.Length() == 0 ? MF_GRAYED : 0), kMenuSelectAll, selectAllText);
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, point.x, point.y, 0, window, nullptr));
    if (chosen == kMenuCopy) Copy();
    if (chosen == kMenuSelectAll) Select(0, text.Length());
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

const PaneText* ResultPaneText(HWND pane) {
    wchar_t className[64] = {};
    if (GetClassNameW(pane, className, 64) == 0 || lstrcmpW(className, kResultPaneClass) != 0) return nullptr;
    const auto* owner = reinterpret_cast<const ResultPane*>(GetWindowLongPtrW(pane, GWLP_USERDATA));
    return owner != nullptr ? &owner->Text() : nullptr;
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
