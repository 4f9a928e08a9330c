#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "ui/PaneRange.h"

namespace {
enum class Op { Expand, Move, MoveStart, MoveEnd };
using U = PaneUnit;
constexpr std::size_t kMillion = 1000000, kBig = 3 * kMillion;  // the length of a million "x\r\n"
}  // namespace

TEST(PaneRange, UnitsEncloseAndMoveAtLineStartsAndEndsAcrossBreaksAndPairsEmptyAndAtTheEndOfAMillionLines) {
    // 0: "ab  cd" CRLF(6) | CRLF(8) | "x" + a surrogate pair(11) + CRLF(13) | an empty last line at 15.
    // 1: empty. 2: a last line without a break. 3: a million "x\r\n", filled in place.
    PaneText texts[4] = {PaneText(4), PaneText(), PaneText(), PaneText()};
    const std::wstring first = L"ab  cd\r\n\r\nx\xD83D\xDE00\r\n";
    texts[0].Append(first.data(), first.size());
    texts[2].Append(L"a\r\nb", 4);
    for (std::size_t i = 0; i < kMillion; ++i) texts[3].Append(L"x\r\n", 3);
    const struct {
        int text;
        Op op;
        PaneUnit unit;
        PaneRange from;
        int count;
        PaneRange to;
        int moved;
    } kCases[] = {
        {0, Op::Expand, U::Character, {7, 7}, 0, {6, 8}, 0},  // inside CRLF
        {0, Op::Expand, U::Character, {12, 12}, 0, {11, 13}, 0},  // inside a pair
        {0, Op::Expand, U::Character, {15, 15}, 0, {15, 15}, 0},
        {0, Op::Expand, U::Word, {3, 3}, 0, {2, 4}, 0},
        {0, Op::Expand, U::Word, {6, 6}, 0, {6, 8}, 0},  // a break is a word of its own
        {0, Op::Expand, U::Word, {0, 4}, 0, {0, 4}, 0},  // whole words stay
        {0, Op::Expand, U::Word, {1, 5}, 0, {0, 2}, 0},
        {0, Op::Expand, U::Line, {6, 6}, 0, {0, 8}, 0},
        {0, Op::Expand, U::Paragraph, {9, 9}, 0, {8, 10}, 0},
        {0, Op::Expand, U::Line, {15, 15}, 0, {15, 15}, 0},  // the empty last line
        {0, Op::Expand, U::Line, {0, 10}, 0, {0, 10}, 0},
        {0, Op::Expand, U::Line, {3, 12}, 0, {0, 8}, 0},
        {0, Op::Expand, U::Format, {5, 5}, 0, {0, 15}, 0},
        {0, Op::Move, U::Character, {6, 6}, 1, {8, 8}, 1},
        {0, Op::Move, U::Character, {10, 10}, 2, {13, 13}, 2},
        {0, Op::Move, U::Character, {13, 13}, -1, {11, 11}, -1},
        {0, Op::Move, U::Character, {15, 15}, 1, {15, 15}, 0},
        {0, Op::Move, U::Word, {0, 0}, 3, {6, 6}, 3},
        {0, Op::Move, U::Line, {3, 3}, 1, {8, 8}, 1},
        {0, Op::Move, U::Line, {3, 3}, -1, {0, 0}, -1},
        {0, Op::Move, U::Line, {12, 12}, 5, {15, 15}, 1},
        {0, Op::Move, U::Line, {15, 15}, -2, {8, 8}, -2},
        {0, Op::Move, U::Line, {1, 3}, 1, {8, 10}, 1},
        {0, Op::Move, U::Line, {1, 3}, 10, {15, 15}, 3},
        {0, Op::Move, U::Line, {11, 12}, -1, {8, 10}, -1},
        {0, Op::Move, U::Character, {13, 15}, 1, {13, 15}, 0},  // the last character stays
        {0, Op::Move, U::Word, {4, 6}, 1, {6, 8}, 1},
        {0, Op::Move, U::Word, {11, 12}, -2, {6, 8}, -2},
        {0, Op::Move, U::Document, {2, 3}, 1, {2, 3}, 0},
        {0, Op::MoveEnd, U::Line, {0, 0}, 2, {0, 10}, 2},
        {0, Op::MoveStart, U::Character, {8, 10}, 3, {13, 13}, 3},  // takes the end along
        {0, Op::MoveEnd, U::Word, {4, 6}, -2, {2, 2}, -2},
        {0, Op::MoveStart, U::Document, {5, 15}, -1, {0, 15}, -1},
        {1, Op::Expand, U::Line, {0, 0}, 0, {0, 0}, 0},
        {1, Op::Expand, U::Character, {5, 9}, 0, {0, 0}, 0},  // kept from a longer text
        {1, Op::Move, U::Line, {0, 0}, 1, {0, 0}, 0},
        {1, Op::MoveEnd, U::Document, {0, 0}, 1, {0, 0}, 0},
        {2, Op::Expand, U::Line, {4, 4}, 0, {3, 4}, 0},
        {2, Op::Move, U::Line, {3, 3}, 1, {4, 4}, 1},
        {2, Op::Move, U::Line, {3, 4}, 1, {3, 4}, 0},
        {2, Op::Move, U::Line, {0, 1}, 5, {3, 4}, 1},
        {3, Op::Expand, U::Line, {kBig - 1, kBig - 1}, 0, {kBig - 3, kBig}, 0},
        {3, Op::Expand, U::Word, {kBig - 2, kBig - 2}, 0, {kBig - 2, kBig}, 0},
        {3, Op::Move, U::Line, {kBig, kBig}, -1, {kBig - 3, kBig - 3}, -1},
        {3, Op::Move, U::Line, {kBig - 3, kBig}, INT_MIN, {0, 3}, -int(kMillion) + 1},
        {3, Op::Move, U::Line, {0, 1}, INT_MAX, {kBig, kBig}, int(kMillion)},
        {3, Op::MoveEnd, U::Line, {0, 0}, INT_MAX, {0, kBig}, int(kMillion)},
        {3, Op::MoveStart, U::Character, {kBig - 4, kBig - 4}, 5, {kBig, kBig}, 3},
    };
    for (const auto& c : kCases) {
        const PaneText& text = texts[c.text];
        PaneRange range = c.from;
        int moved = 0;
        switch (c.op) {
        case Op::Expand: range = ExpandToEnclosingUnit(text, range, c.unit); break;
        case Op::Move: moved = Move(text, range, c.unit, c.count); break;
        case Op::MoveStart: moved = MoveEndpoint(text, range, false, c.unit, c.count); break;
        case Op::MoveEnd: moved = MoveEndpoint(text, range, true, c.unit, c.count); break;
        }
        EXPECT_TRUE(range == c.to && moved == c.moved)
            << "text " << c.text << ", op " << int(c.op) << ", unit " << int(c.unit) << ", " << c.from.start << ".."
            << c.from.end << " by " << c.count << ": " << range.start << ".." << range.end << ", moved " << moved;
    }
}
