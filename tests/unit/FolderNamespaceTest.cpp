// The Linux namespace's own reading of the user's desktop: the desktop folder named by
// xdg-user-dirs, and folder names in the user's language's order, case aside.

#include "folders/FolderServices.h"
#include "folders/linux/NameOrder.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace vantero {
namespace {

// Sets an environment variable for the scope, and puts it back.
struct ScopedVariable {
    ScopedVariable(const char* name, const std::string& value)
        : name(name),
          old(std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt) {
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() { old ? setenv(name, old->c_str(), 1) : unsetenv(name); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    const char* name;
    std::optional<std::string> old;
};

TEST(UserPlaces, TheDesktopIsTheFolderTheUsersDirectoriesNameElseDesktopElseHome) {
    const struct {
        const char* dirs;   // user-dirs.dirs; nullptr: none
        const char* folder; // made under home; nullptr: none
        const char* desktop;
    } cases[] = {
        {"XDG_DESKTOP_DIR=\"$HOME/Schreibtisch/\"\n", "Schreibtisch", "/Schreibtisch"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n", "Bureau",
         "/Bureau"},
        {"XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n", "Desktop", ""}, // named but not there: home
        {nullptr, "Desktop", "/Desktop"},
        {nullptr, nullptr, ""},
    };
    for (const auto& row : cases) {
        test::TempFolder home;
        const ScopedVariable homeVariable("HOME", home.path());
        const ScopedVariable config("XDG_CONFIG_HOME", home.file("config"));
        std::filesystem::create_directory(home.file("config"));
        if (row.dirs != nullptr)
            test::writeBytes(home.file("config/user-dirs.dirs"), row.dirs);
        if (row.folder != nullptr)
            std::filesystem::create_directory(home.file(row.folder));
        const FolderNamespace::Places places = FolderNamespace::userPlaces();
        EXPECT_EQ(places.home, home.path());
        EXPECT_EQ(places.desktop, home.path() + row.desktop) << (row.dirs ? row.dirs : "no dirs");
    }
}

TEST(NameOrder, TheUsersLanguageOrdersNamesCaseAside) {
    const std::vector<std::string> names = {"Zeta", "\xc3\x84pfel", "apfel", "beta", "Beta"};
    const ScopedVariable c("LC_ALL", "C.UTF-8");
    EXPECT_EQ(inNameOrder(names),
              (std::vector<std::string>{"apfel", "beta", "Beta", "Zeta", "\xc3\x84pfel"}));
    const ScopedVariable german("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(inNameOrder(names),
              (std::vector<std::string>{"apfel", "\xc3\x84pfel", "beta", "Beta", "Zeta"}));
}

} // namespace
} // namespace vantero
