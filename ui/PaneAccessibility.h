#pragma once
// The output pane as assistive technology reads it. Through UI Automation: a
// read-only Document element named by the string IDS_PANE_NAME, focusable,
// with the text pattern (ui/PaneRange.h gives its units). Through Active
// Accessibility: a text object of that name, read-only and focusable, whose
// value is the line under the caret, and the caret object. Both read the pane
// through PaneAccessSource, on the pane's thread, and build text only for the
// range a client asks for.
#include <windows.h>

#include <cstddef>

#include "support/UniqueHandle.h"

class PaneText;
struct IAccessible;
struct IRawElementProviderSimple;
class PaneElement;

// What the providers read and do through the pane window.
class PaneAccessSource {
public:
    virtual const PaneText& Text() const = 0;
    // The selection runs from anchor to caret.
    virtual std::size_t Anchor() const = 0;
    virtual std::size_t Caret() const = 0;
    virtual std::size_t FirstVisibleLine() const = 0;
    // Lines the client area shows, the last perhaps in part.
    virtual std::size_t VisibleLines() const = 0;
    // In client coordinates, [from, to) of one line as it is drawn; with
    // from == to, the caret's place there: no width, the line's height.
    virtual RECT SpanRectangle(std::size_t from, std::size_t to) const = 0;
    // The caret stop nearest to a point of the client area.
    virtual std::size_t PositionAt(POINT client) const = 0;
    virtual void Select(std::size_t anchor, std::size_t caret) = 0;
    // Scrolls the least that shows `position`.
    virtual void ScrollIntoView(std::size_t position) = 0;
    virtual HWND Window() const = 0;
    virtual bool Focused() const = 0;

protected:
    ~PaneAccessSource() = default;
};

// Owned by the pane window for its whole life. The objects clients hold may
// outlive the window: once disconnected they fail every call with
// UIA_E_ELEMENTNOTAVAILABLE (RPC_E_DISCONNECTED through Active Accessibility).
class PaneAccessibility {
public:
    explicit PaneAccessibility(PaneAccessSource& source);
    ~PaneAccessibility();
    PaneAccessibility(const PaneAccessibility&) = delete;
    PaneAccessibility& operator=(const PaneAccessibility&) = delete;

    // WM_GETOBJECT: answers UiaRootObjectId, OBJID_CLIENT and OBJID_CARET and
    // sets `handled`; the window passes anything else to DefWindowProc.
    LRESULT AnswerGetObject(WPARAM wParam, LPARAM lParam, bool& handled);
    // After anything that may have moved the caret or the selection; a call
    // that finds neither moved raises nothing.
    void NotifySelectionChanged();
    // After lines arrived or the text was replaced, at most at the pane's
    // repaint pace: a client rereads what it shows for each.
    void NotifyTextChanged();
    // At WM_DESTROY.
    void Disconnect();

    // The UI Automation element (made on first use); null once disconnected.
    IRawElementProviderSimple* Element();

private:
    PaneElement* Made();
    void NotifyValue();

    PaneAccessSource& source;
    ComPtr<PaneElement> element;
    ComPtr<IAccessible> client, caret;
    bool disconnected = false;
    // What the last events told.
    std::size_t toldAnchor = 0, toldCaret = 0, toldLine = 0, toldLineLength = 0;
};

// Has a screen reader say that the job ended with `lines` result lines
// (strings IDS_JOB_END_LINE and IDS_JOB_END_LINES of `window`'s module),
// through UI Automation's notification event from `window`. Nothing on systems
// without that event (before Windows 10 1709), where the progress bar's own
// events are all.
void AnnounceJobEnd(HWND window, std::size_t lines);
