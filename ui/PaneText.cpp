#include "ui/PaneText.h"

#include <algorithm>
#include <cwchar>

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsBreak(wchar_t c) { return c == L'\r' || c == L'\n'; }
bool IsHigh(wchar_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLow(wchar_t c) { return c >= 0xDC00 && c < 0xE000; }
}  // namespace

PaneText::PaneText(std::size_t blockChars, std::pmr::memory_resource* memory)
    : blockChars(std::max<std::size_t>(blockChars, 2)), blocks(memory), lineStarts(1, 0, memory) {}

std::size_t PaneText::LineLength(std::size_t line) const {
    const std::size_t start = lineStarts[line];
    if (line + 1 == lineStarts.size()) return length - start;
    const std::size_t end = lineStarts[line + 1] - 1;  // its L'\n'
    return end - start - (end > start && At(end - 1) == L'\r');
}

std::size_t PaneText::LineOf(std::size_t position) const {
    return static_cast<std::size_t>(std::upper_bound(lineStarts.begin(), lineStarts.end(), position) -
                                    lineStarts.begin()) - 1;
}

std::wstring PaneText::Text(std::size_t from, std::size_t count) const {
    std::wstring text(count, L'\0');
    CopyTo(from, count, text.data());
    return text;
}

void PaneText::CopyTo(std::size_t from, std::size_t count, wchar_t* out) const {
    while (count > 0) {
        const std::size_t offset = from % blockChars, n = std::min(count, blockChars - offset);
        std::copy_n(blocks[from / blockChars].data() + offset, n, out);
        out += n, from += n, count -= n;
    }
}

void PaneText::Append(const wchar_t* text, std::size_t count) {
    while (count > 0) {
        const std::size_t n = std::min(count, blockChars - length % blockChars), before = length;
        // Everything this piece needs is taken before anything changes.
        const auto breaks = static_cast<std::size_t>(std::count(text, text + n, L'\n'));
        if (lineStarts.capacity() - lineStarts.size() < breaks)
            lineStarts.reserve(std::max(lineStarts.size() + breaks, 2 * lineStarts.capacity()));
        if (length == blocks.size() * blockChars) {
            std::pmr::vector<wchar_t> block(blocks.get_allocator());
            block.reserve(blockChars);
            blocks.push_back(std::move(block));
        }
        std::pmr::vector<wchar_t>& last = blocks.back();
        const wchar_t* const begin = last.data() + last.size();
        last.insert(last.end(), text, text + n);
        length += n, text += n, count -= n;
        for (const wchar_t* at = begin; (at = std::wmemchr(at, L'\n', n - static_cast<std::size_t>(at - begin)));) {
            const std::size_t next = before + static_cast<std::size_t>(++at - begin);
            longest = std::max(longest, next - 1 - lineStarts.back());
            lineStarts.push_back(next);
        }
        longest = std::max(longest, length - lineStarts.back());
    }
}

void PaneText::Truncate(std::size_t newLength) {
    while (lineStarts.back() > newLength) lineStarts.pop_back();
    length = newLength;
    blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>((length + blockChars - 1) / blockChars), blocks.end());
    if (!blocks.empty()) blocks.back().resize(length - (blocks.size() - 1) * blockChars);
}

void PaneText::Replace(std::size_t from, std::size_t to, const wchar_t* text, std::size_t count) {
    std::pmr::wstring tail(length - to, L'\0', blocks.get_allocator());
    CopyTo(to, tail.size(), tail.data());
    Truncate(from);
    Append(text, count);
    Append(tail.data(), tail.size());
}

void PaneText::Clear() {
    blocks.clear();
    lineStarts.assign(1, 0);
    length = longest = 0;
}

std::size_t PaneText::Next(std::size_t position) const {
    if (position >= length) return length;
    const wchar_t c = At(position);
    const bool pair = position + 1 < length && ((c == L'\r' && At(position + 1) == L'\n') ||
                                                (IsHigh(c) && IsLow(At(position + 1))));
    return position + 1 + pair;
}

std::size_t PaneText::Previous(std::size_t position) const {
    if (position == 0) return 0;
    const wchar_t c = At(position - 1);
    const bool pair = position >= 2 && ((c == L'\n' && At(position - 2) == L'\r') ||
                                        (IsLow(c) && IsHigh(At(position - 2))));
    return position - 1 - pair;
}

std::pair<std::size_t, std::size_t> PaneText::WordAt(std::size_t position) const {
    const std::size_t line = LineOf(position), start = lineStarts[line], end = start + LineLength(line);
    position = std::min(position, end);
    if (position == end) {
        if (position == start) return {position, position};
        --position;
    }
    const bool blank = IsBlank(At(position));
    const auto same = [&](std::size_t at) { return IsBlank(At(at)) == blank && !IsBreak(At(at)); };
    std::size_t first = position, last = position + 1;
    while (first > start && same(first - 1)) --first;
    while (last < end && same(last)) ++last;
    return {first, last};
}
