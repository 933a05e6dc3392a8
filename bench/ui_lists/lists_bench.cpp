// Filling the rule lists from a large rule set, reading them back and expanding every row,
// for N and 4N block rules in the same run. Prints the times and the 4N / N ratio, which
// stays near 4 while the lists grow linearly (run with QT_QPA_PLATFORM=offscreen).
#include "ui/RSItemListEditor.h"
#include "ui/RuleListEditors.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

struct Times {
    double fill = 0;
    double read = 0;
    double expand = 0;
};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

kelvora::RuleSet ruleSet(int blocks) {
    kelvora::RuleSet rules;
    for (int i = 1; i <= 20; ++i) {
        rules.columns.push_back("Title " + std::to_string(i));
    }
    for (int i = 0; i < blocks; ++i) {
        rules.blockRules.push_back({"BLOCK-" + std::to_string(i),
                                    "*",
                                    "Any Space",
                                    {{"REF", "1"}, {"QTY", "2"}, {"DESC", "-1"}}});
    }
    return rules;
}

Times measure(int blocks) {
    BlockListEditor blockList;
    ColumnListEditor columnList;
    blockList.resize(300, 400);
    blockList.show();
    const kelvora::RuleSet rules = ruleSet(blocks);
    Times times;
    auto start = Clock::now();
    fillEditors(blockList, columnList, rules);
    QApplication::processEvents();
    times.fill = millisecondsSince(start);

    start = Clock::now();
    const bool same = rulesFromEditors(blockList, columnList) == rules;
    times.read = millisecondsSince(start);
    if (!same) {
        std::fprintf(stderr, "the rules read back differ\n");
    }

    QAction* expandAll = nullptr;
    for (QAction* action : blockList.blockMenu()->actions()) {
        if (action->text() == QStringLiteral("E&xpand All")) {
            expandAll = action;
        }
    }
    start = Clock::now();
    expandAll->trigger();
    QApplication::processEvents();
    times.expand = millisecondsSince(start);
    return times;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int base = 2000;
    const Times small = measure(base);
    const Times large = measure(4 * base);
    std::printf("%-18s %12s %12s %8s\n", "block rules", "N=2000 ms", "4N=8000 ms", "ratio");
    const auto row = [](const char* name, double n, double n4) {
        std::printf("%-18s %12.1f %12.1f %8.2f\n", name, n, n4, n > 0 ? n4 / n : 0.0);
    };
    row("fill the lists", small.fill, large.fill);
    row("read them back", small.read, large.read);
    row("expand all", small.expand, large.expand);
    return 0;
}
