#pragma once

// The pack run's two partners for tests without a window: a view that writes down what a window
// would show (the test decides the options and what happens at each drain), and chosen rows.

#include "pack/PackRun.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vantero::test {

struct RecordedView : PackView {
    std::string progress = "table name.tab";
    std::vector<std::string> progressTexts;
    bool cancelAndSave = true;
    bool timer = false;
    bool busy = false;
    int optionsAsked = 0;
    PackParts parts;
    std::function<void(int drain)> onDrain;
    int drains = 0;
    void setProgressText(const std::string& text) override {
        progress = text;
        progressTexts.push_back(text);
    }
    void setCancelAndSaveEnabled(bool enabled) override { cancelAndSave = enabled; }
    void setRunStartTimerEnabled(bool enabled) override { timer = enabled; }
    void setBusyCursor(bool b) override { busy = b; }
    void drainEvents() override {
        if (onDrain)
            onDrain(drains);
        ++drains;
    }
    PackParts askPackParts() override {
        ++optionsAsked;
        return parts;
    }
};

struct ChosenRows : PackSelection {
    const RecordTable& list;
    std::vector<std::size_t> rows;
    ChosenRows(const RecordTable& l, std::vector<std::size_t> r) : list(l), rows(std::move(r)) {}
    std::size_t selectedCount() const override { return rows.size(); }
    Bookmark selectedBookmark(std::size_t i) const override {
        return Bookmark{list.recIdAt(rows.at(i))};
    }
};

} // namespace vantero::test
