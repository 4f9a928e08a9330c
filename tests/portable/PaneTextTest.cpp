#include <gtest/gtest.h>

#include <memory_resource>
#include <new>
#include <string>
#include <vector>

#include "ui/PaneText.h"

namespace {
using Sizes = std::vector<std::size_t>;

PaneText Filled(const std::vector<std::wstring>& pieces, std::size_t blockChars) {
    PaneText text(blockChars);
    for (const std::wstring& piece : pieces) text.Append(piece.data(), piece.size());
    return text;
}

// Line starts and lengths, and each line's first and last position mapped back to it.
void ExpectLines(const PaneText& text, const Sizes& starts, const Sizes& lengths, const std::string& what) {
    ASSERT_EQ(text.LineCount(), starts.size()) << what;
    for (std::size_t line = 0; line < starts.size(); ++line) {
        EXPECT_EQ(text.LineStart(line), starts[line]) << what << ", line " << line;
        EXPECT_EQ(text.LineLength(line), lengths[line]) << what << ", line " << line;
        EXPECT_EQ(text.LineOf(starts[line]), line) << what;
        if (line > 0) {
            EXPECT_EQ(text.LineOf(starts[line] - 1), line - 1) << what << ": a break ends its line";
        }
        EXPECT_GE(text.LongestLine(), lengths[line]) << what;
    }
}

// Refuses its allocation number `failAt`; counts the bytes it has out.
struct FailingMemory : std::pmr::memory_resource {
    explicit FailingMemory(std::size_t failAt) : failAt(failAt) {}
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        if (failAt-- == 0) throw std::bad_alloc();
        return outstanding += bytes, std::pmr::new_delete_resource()->allocate(bytes, alignment);
    }
    void do_deallocate(void* at, std::size_t bytes, std::size_t alignment) override {
        outstanding -= bytes, std::pmr::new_delete_resource()->deallocate(at, bytes, alignment);
    }
    bool do_is_equal(const memory_resource& other) const noexcept override { return this == &other; }
    std::size_t failAt, outstanding = 0;
};
}  // namespace

TEST(PaneText, AppendedPiecesAcrossBlocksGiveTheTextAndItsLinesAndARefusedAllocationLeavesAPrefix) {
    const struct {
        const char* what;
        std::vector<std::wstring> pieces;
        std::size_t blockChars;
        Sizes starts, lengths;
    } kCases[] = {
        {"empty", {L""}, 4, {0}, {0}},
        {"CRLF split between appends and blocks", {L"ab\r", L"\ncd\r\n", L"", L"ef"}, 3, {0, 4, 8}, {2, 2, 2}},
        {"ends in a break: an empty last line", {L"one\r\ntwo\r\n"}, 2, {0, 5, 10}, {3, 3, 0}},
        {"bare LF, empty lines; a lone CR is text", {L"x\n\n\r\n", L"a\rb"}, 1 << 20, {0, 2, 3, 5}, {1, 0, 0, 3}},
        {"many lines in small blocks", {L"e\nfgh\n\n\n\nij", L"\r\n\nk"}, 3, {0, 2, 6, 7, 8, 9, 13, 14},
         {1, 3, 0, 0, 0, 2, 0, 1}},
    };
    for (const auto& c : kCases) {
        const PaneText text = Filled(c.pieces, c.blockChars);
        std::wstring whole;
        for (const std::wstring& piece : c.pieces) whole += piece;
        EXPECT_EQ(text.Length(), whole.size()) << c.what;
        EXPECT_EQ(text.Text(0, text.Length()), whole) << c.what;
        if (whole.size() > 2) {
            EXPECT_EQ(text.Text(1, whole.size() - 2), whole.substr(1, whole.size() - 2)) << c.what;
        }
        ExpectLines(text, c.starts, c.lengths, c.what);

        // Each allocation (a block, the block list, the line table) refused in turn: the text
        // holds a prefix of the pieces, its lines agree with it, and nothing leaks.
        for (std::size_t failAt = 0, done = 0; !done; ++failAt) {
            FailingMemory memory(failAt);
            std::wstring put;
            try {
                PaneText refused(c.blockChars, &memory);
                try {
                    for (const std::wstring& piece : c.pieces) put += piece, refused.Append(piece.data(), piece.size());
                    done = 1;
                } catch (const std::bad_alloc&) {
                    const std::wstring held = refused.Text(0, refused.Length());
                    const PaneText fresh = Filled({held}, 4);
                    EXPECT_EQ(held, put.substr(0, held.size())) << c.what << ", refused allocation " << failAt;
                    EXPECT_TRUE(refused.LineCount() == fresh.LineCount() && refused.LongestLine() >= fresh.LongestLine())
                        << c.what << ", refused allocation " << failAt;
                }
            } catch (const std::bad_alloc&) {  // the text's own line table
            }
            EXPECT_EQ(memory.outstanding, 0u) << c.what << ", refused allocation " << failAt;
        }
    }
}

TEST(PaneText, ReplaceAnywhereKeepsTheLinesAndClearEmpties) {
    const struct {
        const char* what;
        std::size_t from, to;
        std::wstring inserted, result;
        Sizes starts, lengths;
    } kCases[] = {
        {"append at the end", 10, 10, L"\r\nd", L"ab\r\ncd\r\nef\r\nd", {0, 4, 8, 12}, {2, 2, 2, 1}},
        {"selection to the end", 5, 10, L"!", L"ab\r\nc!", {0, 4}, {2, 2}},
        {"middle, across a break", 1, 5, L"X", L"aXd\r\nef", {0, 5}, {3, 2}},
        {"a break inserted", 1, 1, L"\r\n", L"a\r\nb\r\ncd\r\nef", {0, 3, 6, 10}, {1, 1, 2, 2}},
        {"everything", 0, 10, L"", L"", {0}, {0}},
    };
    for (const auto& c : kCases) {
        PaneText text = Filled({L"ab\r\ncd\r\n", L"e", L"f"}, 3);
        text.Replace(c.from, c.to, c.inserted.data(), c.inserted.size());
        EXPECT_EQ(text.Text(0, text.Length()), c.result) << c.what;
        ExpectLines(text, c.starts, c.lengths, c.what);
    }
    PaneText text = Filled({L"a long line\r\nb"}, 4);
    text.Clear();
    EXPECT_EQ(text.Length(), 0u);
    ExpectLines(text, {0}, {0}, "cleared");
    EXPECT_EQ(text.LongestLine(), 0u);
}

TEST(PaneText, CaretStopsPassPairsWholeAndWordsStopAtBlanksAndBreaks) {
    // 0..16: "[MD5] 0A1B - C:\x", 17..18 CRLF, 19..20 CRLF, 21 "z", 22..23 a surrogate pair.
    const std::wstring content = L"[MD5] 0A1B - C:\\x\r\n\r\nz\xD83D\xDE00";
    const PaneText text = Filled({content}, 5);
    const struct { std::size_t at, next, previous; } kStops[] = {
        {0, 1, 0}, {17, 19, 16}, {19, 21, 17}, {21, 22, 19}, {22, 24, 21}, {24, 24, 22}};
    for (const auto& s : kStops) {
        EXPECT_EQ(text.Next(s.at), s.next) << s.at;
        EXPECT_EQ(text.Previous(s.at), s.previous) << s.at;
    }
    const struct { std::size_t at, first, last; } kWords[] = {
        {0, 0, 5}, {4, 0, 5}, {7, 6, 10}, {5, 5, 6}, {14, 13, 17}, {17, 13, 17}, {18, 13, 17}, {19, 19, 19}, {23, 21, 24}};
    for (const auto& w : kWords) EXPECT_EQ(text.WordAt(w.at), std::make_pair(w.first, w.last)) << w.at;
}
