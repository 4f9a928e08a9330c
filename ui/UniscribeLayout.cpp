#include "ui/UniscribeLayout.h"

#include <algorithm>

#include "support/UniqueHandle.h"

namespace {

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

}  // namespace

LineLayout::LineLayout(HDC dc, std::wstring_view line) : length(line.size()) {
    if (line.empty() ||
        FAILED(ScriptStringAnalyse(dc, line.data(), static_cast<int>(line.size()),
                                   static_cast<int>(line.size() * 3 / 2 + 16), -1,
                                   SSA_GLYPHS | SSA_FALLBACK | SSA_LINK, 0, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &analysis)))
        analysis = nullptr;
}

LineLayout::~LineLayout() {
    if (analysis) ScriptStringFree(&analysis);
}

int LineLayout::Width() const {
    const SIZE* size = analysis ? ScriptString_pSize(analysis) : nullptr;
    return size ? size->cx : 0;
}

int LineLayout::X(std::size_t position) const {
    if (position == 0 || !analysis) return 0;
    if (position >= length) return Width();
    int x = 0;
    ScriptStringCPtoX(analysis, static_cast<int>(position), FALSE, &x);
    return x;
}

std::size_t LineLayout::StopAt(int x) const {
    if (x <= 0 || !analysis) return 0;
    if (x >= Width()) return length;
    int position = 0, trailing = 0;
    ScriptStringXtoCP(analysis, x, &position, &trailing);
    return std::min(static_cast<std::size_t>(position + trailing), length);
}

void LineLayout::Draw(int x, int y, std::size_t from, std::size_t to) const {
    if (analysis) ScriptStringOut(analysis, x, y, 0, nullptr, static_cast<int>(from), static_cast<int>(to), FALSE);
}

std::pair<int, int> UniscribeLayout::Metrics() const {
    const MeasuringDc dc(window, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return {metrics.tmHeight, metrics.tmAveCharWidth};
}

int UniscribeLayout::X(std::wstring_view line, std::size_t offset) const {
    const MeasuringDc dc(window, font);
    return LineLayout(dc, line).X(offset);
}

std::size_t UniscribeLayout::StopAt(std::wstring_view line, int x) const {
    const MeasuringDc dc(window, font);
    return LineLayout(dc, line).StopAt(x);
}

int UniscribeLayout::Width(std::wstring_view line) const {
    const MeasuringDc dc(window, font);
    return LineLayout(dc, line).Width();
}
