// The rule model: which block inserts of a drawing count as parts and where their
// attribute values go in the result table.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

inline constexpr std::string_view kAnySpace = "Any Space";
inline constexpr std::string_view kModelSpace = "Model Space";
inline constexpr std::string_view kPaperSpace = "Paper Space";
inline constexpr std::string_view kBlockNameTitle = "Block Name";

// All rule fields are held as 8-bit text, exactly as typed or read from a file.
struct AttributeRule {
    std::string namePattern;
    std::string column; // decimal text; "-1" means the attribute is ignored
    bool operator==(const AttributeRule&) const = default;
};

struct BlockRule {
    std::string blockPattern;
    std::string layerPattern;
    std::string space;
    std::vector<AttributeRule> attributes;
    bool operator==(const BlockRule&) const = default;
};

// Titles of data columns 1..N; column 0 is always "Block Name" and not in the list.
using ColumnList = std::vector<std::string>;

struct RuleSet {
    ColumnList columns;
    std::vector<BlockRule> blockRules;
    bool operator==(const RuleSet&) const = default;
};

// "-1" followed by "1" .. "N": the choices offered for an attribute rule's column.
using ColumnChoices = std::vector<std::string>;
ColumnChoices columnChoices(std::size_t titleCount);

// The integer conversion used for column texts: leading spaces skipped, one sign, decimal
// digits or hexadecimal after "$", "x" or "0x"; anything else (trailing blanks too) or a
// value outside the 32-bit signed range is no integer.
std::optional<int> parseColumnNumber(std::string_view text);

// The widest worksheet of any result format: no column lies beyond it.
inline constexpr int kMostColumns = 16384;

// Largest column of any attribute rule (0 when none is above 0). Fails with the text that is
// not an integer, or names a column beyond kMostColumns (tooLarge).
struct HighestColumn {
    int value = 0;
    std::optional<std::string> invalidText;
    bool tooLarge = false;
};
HighestColumn highestColumn(const RuleSet& rules);

// Case-insensitive (ASCII letters only) match with "*" and "?".
bool matchWildcard(std::string_view name, std::string_view pattern);
// Match against a comma-separated list of patterns.
bool matchPatternList(std::string_view patternList, std::string_view name);

// The rules with their block, layer and tag patterns decoded as configuration texts are (UTF-8
// when valid, else Windows-1252), for matching the decoded names of drawings.
RuleSet withDecodedPatterns(RuleSet rules);

} // namespace kelvora
