#pragma once

// An in-process automation object for the Qt-free core, which writes down every call and throws
// on cue, and a factory that hands it out (or fails): the link's rules checked without a bus.

#include "mapinfo/AutomationError.h"
#include "mapinfo/AutomationObject.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vantero::test {

struct RecordedCall {
    std::string method, argument;
    bool operator==(const RecordedCall&) const = default;
};

struct RecordingLog {
    std::vector<RecordedCall> calls;
    int released = 0;
    // Called before a call is recorded as done; throw from it to fail that call.
    std::function<void(const RecordedCall&)> onCall;
    // When set, the object keeps MapInfo's open tables as the server does: an open under an alias
    // in use fails, a pack packs the file its alias stands for, "close all" closes every table.
    bool keepsTables = false;
    std::map<std::string, std::string> openTables; // alias -> path
    std::vector<std::string> packedFiles;
    std::vector<std::string> arguments() const {
        std::vector<std::string> arguments;
        for (const RecordedCall& call : calls)
            arguments.push_back(call.argument);
        return arguments;
    }
};

class RecordingAutomation : public AutomationObject {
public:
    RecordingAutomation(std::shared_ptr<RecordingLog> log, std::unique_ptr<AutomationObject> inner)
        : m_log(std::move(log)), m_inner(std::move(inner)) {}
    ~RecordingAutomation() override { ++m_log->released; }
    void callMethod(const std::string& method, const std::string& argument) override {
        const RecordedCall call{method, argument};
        m_log->calls.push_back(call);
        if (m_log->onCall)
            m_log->onCall(call);
        if (m_log->keepsTables)
            keepTables(argument);
        if (m_inner)
            m_inner->callMethod(method, argument);
    }

private:
    void keepTables(const std::string& statement) {
        auto& open = m_log->openTables;
        if (statement == "close all") {
            open.clear();
        } else if (statement.rfind("open table \"", 0) == 0) {
            const std::size_t as = statement.rfind("\" as ");
            const std::string alias = statement.substr(as + 5);
            if (!open.emplace(alias, statement.substr(12, as - 12)).second)
                throw ServerError("Alias " + alias + " is in use", kDispatchException);
        } else if (statement.rfind("Pack Table ", 0) == 0) {
            const std::string alias = statement.substr(11, statement.find(' ', 11) - 11);
            if (open.count(alias) == 0)
                throw ServerError("Table " + alias + " is not open", kDispatchException);
            m_log->packedFiles.push_back(open[alias]);
        }
    }

    std::shared_ptr<RecordingLog> m_log;
    std::unique_ptr<AutomationObject> m_inner;
};

class RecordingFactory : public AutomationServerFactory {
public:
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    std::vector<std::string> progIds;
    std::function<void()> failCreation; // throws to make creation fail
    // When set, each object passes every call on to an object of this factory (a real client), so
    // that a test sees the calls and the release of a real connection.
    AutomationServerFactory* forwardTo = nullptr;
    std::unique_ptr<AutomationObject> createObject(const std::string& progId) override {
        progIds.push_back(progId);
        if (failCreation)
            failCreation();
        return std::make_unique<RecordingAutomation>(
            log, forwardTo ? forwardTo->createObject(progId) : nullptr);
    }
};

} // namespace vantero::test
