#include "engine/rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelvora;

TEST(MatchWildcard, FollowsTheStarAndQuestionMarkRules) {
    struct Case {
        const char* name;
        const char* pattern;
        bool expected;
    };
    const Case cases[] = {
        {"", "", true},
        {"", "*", true},
        {"", "**", false},
        {"X", "", false},
        {"abc", "A?C", true},
        {"A", "A?", false},
        {"ABC", "*C", true},
        {"ABC", "*B", false},
        {"AB", "A**", true},
        {"A", "A**", false},
        {"DOOR-12", "door*", true},
        {"AXB", "A**B", true},
        {"AB", "A**B", true},
        {"XAYB", "*A*B", true},
        {"XAYB", "*A*C", false},
        {"ab", "AB", true},
        {"ABC", "AB", false},
        {"AB", "ABC", false},
        {"ABC", "?*?", true},
        {"A", "?*?", false},
        {"A", "*", true},
        {"DOOR", "DOOR*", true},
        {"DOO", "DOOR*", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(matchWildcard(c.name, c.pattern), c.expected)
            << "'" << c.name << "' against '" << c.pattern << "'";
    }
}

TEST(MatchWildcard, FoldsOnlyAsciiLetters) {
    // Latin-1 e-acute (0xE9) and E-acute (0xC9) are different bytes and stay different.
    EXPECT_FALSE(matchWildcard("\xE9", "\xC9"));
    EXPECT_TRUE(matchWildcard("\xE9", "\xE9"));
    EXPECT_FALSE(matchWildcard("[", "{")); // not letters: no folding across 32
}

namespace {

// The matching rule written out step by step (upper-case both, then walk the pattern; a star
// tries the rest of the name from the shortest skip on), for comparison on small inputs.
bool stepByStep(std::string name, std::string pattern) {
    for (std::string* text : {&name, &pattern}) {
        for (char& c : *text) {
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        }
    }
    while (!name.empty() && !pattern.empty()) {
        if (pattern[0] == '?') {
            name.erase(0, 1);
            pattern.erase(0, 1);
        } else if (pattern[0] == '*') {
            pattern.erase(0, 1);
            while (!stepByStep(name, pattern) && !name.empty()) {
                name.erase(0, 1);
            }
        } else if (pattern[0] == name[0]) {
            name.erase(0, 1);
            pattern.erase(0, 1);
        } else {
            name.clear();
        }
    }
    return (name.empty() && pattern.empty()) || pattern == "*";
}

} // namespace

TEST(MatchWildcard, AgreesWithTheStepByStepRuleOnEverySmallCase) {
    // Every name of up to 4 letters from "ab" against every pattern of up to 4 signs.
    const std::string nameLetters = "aB";
    const std::string patternSigns = "Ab*?";
    std::vector<std::string> names{""};
    std::vector<std::string> patterns{""};
    for (std::size_t i = 0; i < names.size() && names[i].size() < 4; ++i) {
        for (char c : nameLetters) {
            names.push_back(names[i] + c);
        }
    }
    for (std::size_t i = 0; i < patterns.size() && patterns[i].size() < 4; ++i) {
        for (char c : patternSigns) {
            patterns.push_back(patterns[i] + c);
        }
    }
    int differences = 0;
    for (const std::string& name : names) {
        for (const std::string& pattern : patterns) {
            if (matchWildcard(name, pattern) != stepByStep(name, pattern) && ++differences < 5) {
                ADD_FAILURE() << "'" << name << "' against '" << pattern << "'";
            }
        }
    }
    EXPECT_EQ(differences, 0);
}

TEST(MatchWildcard, ManyStarsOnALongNameFinish) {
    // Backtracking star by star would take longer than any test run.
    const std::string name(1000, 'A');
    EXPECT_FALSE(matchWildcard(name, "*A*A*A*A*A*A*A*A*A*A*B"));
    EXPECT_TRUE(matchWildcard(name + "B", "*A*A*A*A*A*A*A*A*A*A*B"));
}

TEST(MatchPatternList, TriesPiecesFromLeftToRight) {
    EXPECT_TRUE(matchPatternList("DOOR, WINDOW", "window"));
    EXPECT_TRUE(matchPatternList("DOOR,,WINDOW", "WINDOW"));
    EXPECT_FALSE(matchPatternList(",DOOR", "X"));
    EXPECT_TRUE(matchPatternList("DOOR,", "X")); // a last empty piece matches everything
    EXPECT_TRUE(matchPatternList("", "X"));
    EXPECT_TRUE(matchPatternList("   ", "X"));
    EXPECT_TRUE(matchPatternList(" DOOR ", "door"));
    EXPECT_TRUE(matchPatternList("\tDOOR\t,WIN", "DOOR"));
    EXPECT_FALSE(matchPatternList("DOOR,WIN", "WALL"));
    EXPECT_FALSE(matchPatternList("DOOR , WIN ", "WALL"));
    EXPECT_TRUE(matchPatternList("A,B,C*", "CX"));
}

TEST(ParseColumnNumber, AcceptsDecimalAndHexadecimal) {
    EXPECT_EQ(parseColumnNumber("12"), 12);
    EXPECT_EQ(parseColumnNumber("  -1"), -1);
    EXPECT_EQ(parseColumnNumber("+7"), 7);
    EXPECT_EQ(parseColumnNumber("$1F"), 31);
    EXPECT_EQ(parseColumnNumber("0x10"), 16);
    EXPECT_EQ(parseColumnNumber("X10"), 16);
    EXPECT_EQ(parseColumnNumber("-$10"), -16);
    EXPECT_EQ(parseColumnNumber("2147483647"), 2147483647);
    EXPECT_EQ(parseColumnNumber("-2147483648"), -2147483647 - 1);
}

TEST(ParseColumnNumber, RefusesEverythingElse) {
    for (const char* text : {"", " ", "abc", "1 ", "1a", "--1", "$", "0x", "2147483648",
                             "-2147483649", "$FFFFFFFF", "1.5", "1,2", "\t3"}) {
        EXPECT_FALSE(parseColumnNumber(text).has_value()) << "'" << text << "'";
    }
}

TEST(HighestColumn, TakesTheLargestColumnOfAnyRule) {
    RuleSet rules;
    EXPECT_EQ(highestColumn(rules).value, 0);
    rules.blockRules.push_back({"A", "*", "Any Space", {{"X", "-1"}, {"Y", "-1"}}});
    EXPECT_EQ(highestColumn(rules).value, 0); // -1 never raises it
    rules.blockRules.push_back({"B", "*", "Any Space", {{"X", "2"}, {"Y", "7"}, {"Z", "3"}}});
    EXPECT_EQ(highestColumn(rules).value, 7); // also past the last title
    EXPECT_FALSE(highestColumn(rules).invalidText);
    rules.blockRules[0].attributes[1].column = "abc";
    EXPECT_EQ(highestColumn(rules).invalidText, "abc");
}

TEST(ColumnChoices, StartWithMinusOne) {
    EXPECT_EQ(columnChoices(0), ColumnChoices{"-1"});
    EXPECT_EQ(columnChoices(3), (ColumnChoices{"-1", "1", "2", "3"}));
}
