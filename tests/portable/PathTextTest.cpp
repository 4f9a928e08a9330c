#include "support/PathText.h"

#include <gtest/gtest.h>

TEST(PathText, RootsNamesAndShownForms) {
    const struct { const wchar_t* path; std::size_t root; bool absolute; } roots[] = {
        {L"C:\\a", 2, true}, {L"c:x", 2, false}, {L"C:", 2, false},  {L"\\\\s\\sh\\x", 6, true},
        {L"\\\\s\\sh", 6, true}, {L"\\\\s", 3, false}, {L"\\\\\\x", 4, false}, {L"\\x", 0, false}, {L"1:\\x", 0, false}};
    for (const auto& r : roots) {
        EXPECT_EQ(RootLength(r.path), r.root) << r.path;
        EXPECT_EQ(IsAbsolutePath(r.path), r.absolute) << r.path;
    }
    // "." and empty names go, ".." never climbs above the root, the rest is kept as written.
    const struct { const wchar_t* start; std::size_t root; const wchar_t* names; const wchar_t* path; } joins[] = {
        {L"C:\\a", 2, L"\\.\\b.\\..\\c \\\\d.", L"C:\\a\\c \\d."}, {L"C:", 2, L"..\\..\\z", L"C:\\z"},
        {L"\\\\s\\sh", 6, L"..\\x", L"\\\\s\\sh\\x"}, {L"C:\\a\\b", 2, L"..\\..\\..", L"C:"}};
    for (const auto& j : joins) {
        std::wstring path = j.start;
        AppendNames(path, j.root, j.names);
        EXPECT_EQ(path, j.path) << j.names;
    }
    EXPECT_EQ(OrdinaryForm(L"\\\\?\\C:\\a"), L"C:\\a");
    EXPECT_EQ(OrdinaryForm(L"\\\\?\\UNC\\s\\x"), L"\\\\s\\x");
    // A line shows each control character and "<" as <XX>, all else as it is.
    const std::pair<std::wstring, const wchar_t*> shown[] = {
        {L"\\\\?\\UNC\\s\\a\nb\\c\r\td> ", L"\\\\s\\a<0A>b\\c<0D><09>d> "},
        {std::wstring(L"x\0y\x1F\x7F<3C>\x80\u00E9", 11), L"x<00>y<1F><7F><3C>3C>\x80\u00E9"},
    };
    for (const auto& [path, line] : shown) EXPECT_EQ(DisplayForm(path), line);
}
