#include "engine/rules.h"

#include "text/ascii.h"
#include "text/drawingtext.h"

#include <cstdint>
#include <vector>

namespace kelvora {

ColumnChoices columnChoices(std::size_t titleCount) {
    ColumnChoices choices{"-1"};
    for (std::size_t i = 1; i <= titleCount; ++i) {
        choices.push_back(std::to_string(i));
    }
    return choices;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<int> parseColumnNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    const std::int64_t limit = negative ? std::int64_t{2147483648} : std::int64_t{2147483647};
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > limit) {
            return std::nullopt;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

HighestColumn highestColumn(const RuleSet& rules) {
    HighestColumn result;
    for (const BlockRule& block : rules.blockRules) {
        for (const AttributeRule& attribute : block.attributes) {
            const std::optional<int> column = parseColumnNumber(attribute.column);
            if (!column || *column > kMostColumns) {
                result.invalidText = attribute.column;
                result.tooLarge = column.has_value();
                return result;
            }
            if (*column > result.value) {
                result.value = *column;
            }
        }
    }
    return result;
}

// The match works on suffixes: matches(i, j) tells whether name[i..] matches pattern[j..].
// A "*" matches when any later suffix of the name matches the rest of the pattern, tried from
// the shortest skip on. When the name is used up, what is left of the pattern must be empty
// or a single "*" (so 'A**' does not match 'A', and '**' does not match an empty name).
// Filling the table column by column keeps the match polynomial where plain backtracking
// would be exponential for patterns with many stars.
bool matchWildcard(std::string_view name, std::string_view pattern) {
    // Most patterns hold no star, or one star at their end: those need no table.
    const std::size_t star = pattern.find('*');
    if (star == std::string_view::npos || star + 1 == pattern.size()) {
        const std::size_t fixed = star == std::string_view::npos ? pattern.size() : star;
        const bool lengthFits =
            star == std::string_view::npos ? name.size() == fixed : name.size() >= fixed;
        if (!lengthFits) {
            return false;
        }
        for (std::size_t i = 0; i < fixed; ++i) {
            if (pattern[i] != '?' && asciiUpper(pattern[i]) != asciiUpper(name[i])) {
                return false;
            }
        }
        return true;
    }
    const std::size_t n = name.size();
    const std::size_t m = pattern.size();
    // next[i] = matches(i, j + 1), current[i] = matches(i, j)
    std::vector<char> next(n + 1);
    std::vector<char> current(n + 1);
    for (std::size_t i = 0; i <= n; ++i) {
        next[i] = i == n; // matches(i, m)
    }
    for (std::size_t j = m; j-- > 0;) {
        const char p = asciiUpper(pattern[j]);
        const bool restIsOneStar = j + 1 == m && p == '*';
        current[n] = restIsOneStar;
        bool laterMatches = next[n]; // any matches(i', j + 1) for i' >= i
        for (std::size_t i = n; i-- > 0;) {
            laterMatches = laterMatches || next[i];
            if (p == '*') {
                current[i] = laterMatches;
            } else if (p == '?' || p == asciiUpper(name[i])) {
                current[i] = next[i + 1];
            } else {
                current[i] = false;
            }
        }
        current.swap(next);
    }
    return next[0] != 0;
}

bool matchPatternList(std::string_view patternList, std::string_view name) {
    std::string_view list = patternList;
    for (;;) {
        const std::size_t comma = list.find(',');
        if (comma == std::string_view::npos) {
            break;
        }
        const std::string_view piece = trimBlanks(list.substr(0, comma));
        if (!piece.empty() && matchWildcard(name, piece)) {
            return true;
        }
        list = trimBlanks(list.substr(comma + 1));
    }
    list = trimBlanks(list);
    return list.empty() || matchWildcard(name, list);
}

RuleSet withDecodedPatterns(RuleSet rules) {
    for (BlockRule& rule : rules.blockRules) {
        rule.blockPattern = utf8FromAnsi(rule.blockPattern);
        rule.layerPattern = utf8FromAnsi(rule.layerPattern);
        for (AttributeRule& attribute : rule.attributes) {
            attribute.namePattern = utf8FromAnsi(attribute.namePattern);
        }
    }
    return rules;
}

} // namespace kelvora
