#include "cli/BatchPack.h"
#include "cli/InOrder.h"
#include "cli/Json.h"
#include "cli/Options.h"
#include "mapinfo/AutomationError.h"
#include "tests/support/RecordingAutomation.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace vantero::cli {
namespace {

using Lines = std::vector<std::string>;

// A run's options in a few letters (g d the parts; r n o j f recursive, dry run, only needed,
// JSON, force), its log file and its paths; or the status and first line of an early exit.
std::string read(const Lines& arguments) {
    const auto parsed = parseOptions(arguments);
    if (const auto* exit = std::get_if<EarlyExit>(&parsed))
        return std::to_string(exit->status) + " " + exit->text.substr(0, exit->text.find('\n'));
    const Options& o = std::get<Options>(parsed);
    std::string text = std::string(o.parts.graphic ? "g" : "") + (o.parts.data ? "d" : "") +
                       (o.recursive ? "r" : "") + (o.dryRun ? "n" : "") +
                       (o.onlyNeeded ? "o" : "") + (o.json ? "j" : "") + (o.force ? "f" : "") +
                       " log=" + o.logFile;
    for (const std::string& path : o.paths)
        text += " " + path;
    return text;
}

TEST(CliOptions, ReadTheGnuWay) {
    const std::pair<Lines, std::string> cases[] = {
        {{"a"}, "gd log= a"},
        {{"-rnf", "--only-needed", "--json", "a", "b"}, "gdrnojf log= a b"},
        {{"--log=x.log", "-g", "--", "-odd"}, "g log=x.log -odd"},
        {{"--log", "x.log", "--data", "a"}, "d log=x.log a"},
        {{"--rec", "a"}, "gdr log= a"}, // an unambiguous abbreviation
        {{"--help"}, "0 Usage: vantero-pack [OPTION]... PATH..."},
        {{}, "2 vantero-pack: no PATH given"},
        {{"-x", "a"}, "2 vantero-pack: invalid option -- 'x'"},
        {{"--bogus", "a"}, "2 vantero-pack: unrecognized option '--bogus'"},
        {{"--log"}, "2 vantero-pack: option '--log' requires a file"},
        {{"--json=yes", "a"}, "2 vantero-pack: option '--json' doesn't allow an argument"},
    };
    for (const auto& [arguments, reading] : cases)
        EXPECT_EQ(read(arguments), reading);
}

// Later work finishes first here, yet every result comes in order, each done once; a failure is
// thrown where its result is taken; and a taker that stops early leaves nothing running.
TEST(CliInOrder, ResultsComeInOrderEachDoneOnce) {
    constexpr std::size_t kCount = 40;
    std::atomic<int> done[kCount] = {};
    {
        InOrder<std::size_t> work(kCount, [&](std::size_t i) {
            ++done[i];
            std::this_thread::sleep_for(std::chrono::microseconds(50 * (kCount - i)));
            if (i == 7)
                throw std::runtime_error("seven");
            return i * i;
        });
        for (std::size_t i = 0; i < kCount; ++i)
            if (i == 7)
                EXPECT_THROW(work.take(), std::runtime_error);
            else
                EXPECT_EQ(work.take(), i * i);
    }
    for (std::size_t i = 0; i < kCount; ++i)
        EXPECT_EQ(done[i], 1) << i;
    InOrder<int> abandoned(1000, [](std::size_t) { return 0; });
    EXPECT_EQ(abandoned.take(), 0);
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

// Once also through links: e.tab is sub/c.tab, met first under its own name; "linked" is sub.
TEST_F(CliRun, PacksTheTablesOfTheFoldersOnceWithoutTheWindowStatements) {
    std::filesystem::create_symlink("sub/c.tab", folder.file("e.tab"));
    std::filesystem::create_directory_symlink("sub", folder.file("linked"));
    EXPECT_EQ(
        run({"-r", folder.path(), folder.file("sub"), folder.file("linked"), folder.file("a.tab")}),
        kAllPacked);
    EXPECT_EQ(packedFiles(), (Lines{folder.file("a.tab"), folder.file("b.tab"),
                                    folder.file("e.tab"), folder.file("sub/deeper/d.tab")}));
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

// A dry run names each table's kind as the window's list does, though its listing leaves the
// kinds to the one reading of each .tab, and says why a table is not measured.
TEST_F(CliRun, ADryRunNamesKindsAndWhyATableIsNotRead) {
    test::writeBytes(folder.file("photo.tab"), "!table\n  Type RASTER\n");
    std::filesystem::create_directory(folder.file("dir.tab"));
    EXPECT_EQ(run({"-n", folder.path()}), kAllPacked);
    const std::pair<std::string, std::string> lines[] = {
        {"a.tab", "Native\tnot read: " + folder.file("a.tab") + " has no .DAT file beside it"},
        {"photo.tab", "Raster\tnot read: Raster tables are not read by vantero-pack"},
        {"dir.tab", "Unknown\tnot read: " + folder.file("dir.tab") + " is a folder, not a table"},
    };
    for (const auto& [table, said] : lines)
        EXPECT_NE(out.str().find(folder.file(table) + "\t" + said + "\n"), std::string::npos)
            << out.str();
    EXPECT_NE(out.str().find("total: 4 tables, 0 rows, 0 deleted, 0 bytes to reclaim, 4 not read"),
              std::string::npos)
        << out.str();
    EXPECT_TRUE(servers.log->calls.empty());
    // Ctrl+C ends it before the next table.
    stop = true;
    out.str("");
    EXPECT_EQ(run({"-n", folder.path()}), kStopped);
    EXPECT_EQ(out.str(), "total: 0 tables, 0 rows, 0 deleted, 0 bytes to reclaim\n");
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
