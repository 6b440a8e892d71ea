#include "window/library/CommaText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Fields = std::vector<std::string>;

TEST(CommaText, QuotesFieldsWithBlanksQuotesCommasAndControlCharacters) {
    struct Case {
        Fields fields;
        std::string text;
    } cases[] = {
        {{}, ""},
        {{""}, "\"\""}, // one empty field must still read back as one field
        {{"", ""}, ","},
        {{"a", "", "b"}, "a,,b"},
        {{"Intro", "01:12", "72", "Intro.ogg"}, "Intro,01:12,72,Intro.ogg"},
        {{"Long Song"}, "\"Long Song\""},
        {{"a,b"}, "\"a,b\""},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
        {{"\"", "x"}, "\"\"\"\",x"},
        {{"tab\there"}, "\"tab\there\""},
        {{std::string("\x01") + "x"}, "\"\x01x\""},
        {{"line\r\nbreak"}, "\"line\r\nbreak\""},
        {{"ümlaut"}, "ümlaut"}, // 8-bit characters are no reason to quote
        {{"a;b'c"}, "a;b'c"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CommaText(c.fields), c.text);
        EXPECT_EQ(ReadCommaText(c.text), c.fields) << c.text;
    }
}

TEST(CommaText, ReadingSkipsBlanksAndTakesQuotesAsTheyCome) {
    struct Case {
        std::string text;
        Fields fields;
    } cases[] = {
        {"   ", {}},
        {"  a  ,  b  ", {"a", "b"}},
        {"a b", {"a", "b"}}, // a blank ends an unquoted field
        {"a\tb\x01"
         "c",
         {"a", "b", "c"}},
        {"a,", {"a", ""}}, // a comma at the very end adds an empty field
        {"a, ", {"a"}},    // ... but not when blanks follow it
        {",a", {"", "a"}},
        {",,", {"", "", ""}},
        {"a,,,b", {"a", "", "", "b"}},
        {"\"a b\"c,d", {"a b", "c", "d"}}, // text after the closing quote is a field of its own
        {"\"open", {"open"}},              // an unclosed quote runs to the end
        {"\"open \"\"q\"\"", {"open \"q\""}},
        {"\"\"", {""}},
        {"\"\",\"\"", {"", ""}},
        {std::string("a,b\0c,d", 7), {"a", "b"}}, // a NUL ends the text
        {std::string("\0a", 2), {}},
        {"\xff\xfe,\x80", {"\xff\xfe", "\x80"}},
        {"a\r\nb", {"a", "b"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadCommaText(c.text), c.fields) << c.text;
    }
}

TEST(CommaText, SongFieldsAreTakenInWholeGroupsOfFour) {
    struct Case {
        std::string text;
        size_t fields;
    } cases[] = {
        {"", 0},          {"a,b,c", 0},         {"a,b,c,d", 4},
        {"a,b,c,d,e", 4}, {"a,b,c,d,e,f,g", 4}, {"a,b,c,d,e,f,g,h", 8},
        {"a,01:00,,", 4}, // a playlist row stored with its two empty fields
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadCommaGroups(c.text).size(), c.fields) << c.text;
    }
    EXPECT_EQ(ReadCommaGroups("a,b,c,d,e,f", 3), (Fields{"a", "b", "c", "d", "e", "f"}));
}

TEST(CommaText, AnyFieldListSurvivesWritingAndReading) {
    // Lists that cannot be told apart after writing are the empty list and lists whose one
    // field is empty (shown above); every other list must read back as written.
    const std::string alphabet = std::string("a ,\"\t\x01\xc3\xa4") + "\r\n'";
    uint32_t seed = 7;
    for (int round = 0; round < 2000; ++round) {
        Fields fields(1 + round % 6);
        for (std::string& field : fields) {
            seed = seed * 1103515245u + 12345u;
            const size_t length = (seed >> 16) % 6;
            for (size_t i = 0; i < length; ++i) {
                seed = seed * 1103515245u + 12345u;
                field.push_back(alphabet[(seed >> 16) % alphabet.size()]);
            }
        }
        EXPECT_EQ(ReadCommaText(CommaText(fields)), fields) << CommaText(fields);
    }
}
