#include "cli/BatchPack.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "mapinfo/AutomationError.h"
#include "tests/support/RecordingAutomation.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace vantero::cli {
namespace {

using Lines = std::vector<std::string>;

TEST(CliOptions, ReadTheGnuWay) {
    struct Case {
        Lines arguments;
        int status;         // -1: a run
        std::string expect; // the paths joined by "|", or a part of the text printed
    };
    const Case cases[] = {
        {{"a"}, -1, "a"},
        {{"-rn", "--only-needed", "--json", "a", "b"}, -1, "a|b"},
        {{"--log=x.log", "-f", "--", "-odd"}, -1, "-odd"},
        {{"--log", "x.log", "a"}, -1, "a"},
        {{"--rec", "a"}, -1, "a"}, // an unambiguous abbreviation
        {{"--help"}, 0, "Usage: vantero-pack"},
        {{"-V"}, 0, "vantero-pack "},
        {{}, 2, "no PATH given"},
        {{"-x", "a"}, 2, "invalid option -- 'x'"},
        {{"--bogus", "a"}, 2, "unrecognized option '--bogus'"},
        {{"--log"}, 2, "requires a file"},
        {{"--json=yes", "a"}, 2, "doesn't allow an argument"},
    };
    for (const Case& c : cases) {
        const auto parsed = parseOptions(c.arguments);
        if (c.status < 0) {
            ASSERT_TRUE(std::holds_alternative<Options>(parsed)) << c.expect;
            std::string paths;
            for (const std::string& path : std::get<Options>(parsed).paths)
                paths += (paths.empty() ? "" : "|") + path;
            EXPECT_EQ(paths, c.expect);
        } else {
            ASSERT_TRUE(std::holds_alternative<EarlyExit>(parsed)) << c.expect;
            EXPECT_EQ(std::get<EarlyExit>(parsed).status, c.status) << c.expect;
            EXPECT_NE(std::get<EarlyExit>(parsed).text.find(c.expect), std::string::npos)
                << std::get<EarlyExit>(parsed).text;
        }
    }
    const auto parts = [](const Lines& arguments) {
        const PackParts p = std::get<Options>(parseOptions(arguments)).parts;
        return std::make_pair(p.graphic, p.data);
    };
    EXPECT_EQ(parts({"a"}), std::make_pair(true, true));
    EXPECT_EQ(parts({"-g", "a"}), std::make_pair(true, false));
    EXPECT_EQ(parts({"--data", "a"}), std::make_pair(false, true));
    const Options all = std::get<Options>(parseOptions({"-rnf", "--only-needed", "--json", "a"}));
    EXPECT_TRUE(all.recursive && all.dryRun && all.force && all.onlyNeeded && all.json);
}

TEST(CliJson, StringsAreEscapedAndValidUtf8) {
    EXPECT_EQ(jsonString("a \"b\"\\\t\n\x01"), R"("a \"b\"\\\t\n\u0001")");
    EXPECT_EQ(jsonString("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
    EXPECT_EQ(jsonString("caf\xE9.tab"), R"("caf\ufffd.tab")");
    EXPECT_EQ(JsonObject().add("n", std::uint64_t{3}).add("ok", true).add("s", "x").text(),
              R"({"n":3,"ok":true,"s":"x"})");
}

class CliRun : public ::testing::Test {
protected:
    test::TempFolder folder;
    test::RecordingFactory servers;
    std::ostringstream out, err;
    Console console{out, err, false};
    bool stop = false;

    void SetUp() override {
        for (const char* name : {"a.tab", "b.tab", "sub/c.tab", "sub/deeper/d.tab"}) {
            std::filesystem::create_directories(
                std::filesystem::path(folder.file(name)).parent_path());
            test::writeBytes(folder.file(name), "!table\n  Type NATIVE\n");
        }
        servers.log->keepsTables = true;
    }
    int run(Lines arguments) {
        const auto parsed = parseOptions(arguments);
        return runBatch(std::get<Options>(parsed), servers, console, [this] { return stop; });
    }
    Lines packedFiles() const {
        Lines files = servers.log->packedFiles;
        std::sort(files.begin(), files.end());
        return files;
    }
};

TEST_F(CliRun, PacksTheTablesOfTheFoldersOnceWithoutTheWindowStatements) {
    EXPECT_EQ(run({"-r", folder.path(), folder.file("sub"), folder.file("a.tab")}), kAllPacked);
    EXPECT_EQ(packedFiles(), (Lines{folder.file("a.tab"), folder.file("b.tab"),
                                    folder.file("sub/c.tab"), folder.file("sub/deeper/d.tab")}));
    const Lines statements = servers.log->arguments();
    EXPECT_EQ(statements[0], "set progressbars off");
    EXPECT_EQ(statements[1], "close all");
    EXPECT_EQ(statements.size(), 2u + 3 * 4);
    EXPECT_NE(out.str().find("Process Complete."), std::string::npos) << out.str();

    servers.log->calls.clear();
    EXPECT_EQ(run({"--graphic", folder.file("b.tab")}), kAllPacked);
    EXPECT_EQ(servers.log->arguments()[3], "Pack Table b Graphic");
}

TEST_F(CliRun, ExitStatusesSayWhatHappened) {
    // A table MapInfo refuses: the others are packed all the same.
    servers.log->onCall = [](const test::RecordedCall& call) {
        if (call.argument == "Pack Table a Graphic Data")
            throw ServerError("Table a is read-only", kDispatchException);
    };
    EXPECT_EQ(run({folder.path()}), kSomeFailed);
    EXPECT_EQ(packedFiles(), (Lines{folder.file("b.tab")}));

    // A path that names nothing: said, and the run goes on.
    servers.log->onCall = nullptr;
    servers.log->packedFiles.clear();
    EXPECT_EQ(run({folder.file("gone"), folder.file("sub")}), kSomeFailed);
    EXPECT_NE(err.str().find(folder.file("gone") + ": "), std::string::npos) << err.str();
    EXPECT_EQ(packedFiles(), (Lines{folder.file("sub/c.tab")}));

    // Stop before the first table: nothing packed, the log says so.
    stop = true;
    servers.log->packedFiles.clear();
    EXPECT_EQ(run({folder.path()}), kStopped);
    EXPECT_TRUE(servers.log->packedFiles.empty());
    EXPECT_NE(out.str().find("Process Stop by user."), std::string::npos);

    // No MapInfo at all.
    servers.failCreation = [] { throw AutomationError("no such server"); };
    EXPECT_EQ(run({folder.path()}), kNoConnection);
}

TEST_F(CliRun, TheLogIsTheWindowProgramsAndIsReplacedOnlyWhenForced) {
    const std::string log = folder.file("run.log");
    EXPECT_EQ(run({"--log", log, folder.file("sub/c.tab")}), kAllPacked);
    EXPECT_EQ(test::readBytes(log),
              "Message\r\nPacked table " + folder.file("sub/c.tab") + "\r\nProcess Complete.\r\n");
    servers.log->calls.clear();
    EXPECT_EQ(run({"--log", log, folder.file("a.tab")}), kUsageError);
    EXPECT_TRUE(servers.log->calls.empty()); // refused before anything was sent
    EXPECT_EQ(run({"--log", log, "--force", folder.file("a.tab")}), kAllPacked);
    EXPECT_NE(test::readBytes(log).find("a.tab"), std::string::npos);
}

TEST_F(CliRun, JsonGivesAnObjectATableAndASummary) {
    test::writeBytes(folder.file("say \"hi\".tab"), "!table\n  Type NATIVE\n");
    EXPECT_EQ(run({"--json", folder.file("say \"hi\".tab")}), kAllPacked);
    EXPECT_EQ(out.str(), "{\"table\":" + jsonString(folder.file("say \"hi\".tab")) +
                             ",\"result\":\"packed\"}\n"
                             "{\"tables\":1,\"failed\":0,\"skipped\":0,\"stopped\":false}\n");
}

} // namespace
} // namespace vantero::cli
