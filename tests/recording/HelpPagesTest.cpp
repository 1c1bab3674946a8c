// Finding the shipped help, and the help itself: every page it links to and
// every picture it shows is there in the copy the programs use.
#include "recording/THelpPages.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

using namespace kestrune;
namespace fs = std::filesystem;

namespace {

void WritePage(const fs::path& Folder)
{
    fs::create_directories(Folder / "help");
    std::ofstream(Folder / THelpPages::IndexName) << "<html></html>";
}

} // namespace

TEST(HelpPages, BesideTheProgramFirstThenTheDataFolder)
{
    const test::TTempDir dir;
    const fs::path program = dir.Path() / "bin";
    const fs::path data = dir.Path() / "share";
    fs::create_directories(program);
    fs::create_directories(data);

    EXPECT_EQ(THelpPages::IndexPage(program.string(), data.string()), "");
    EXPECT_EQ(THelpPages::IndexPage("", ""), "");

    // A folder of that name is no page.
    fs::create_directories(data / "help" / "index.html");
    EXPECT_EQ(THelpPages::IndexPage(program.string(), data.string()), "");
    fs::remove_all(data / "help");

    WritePage(data);
    EXPECT_EQ(THelpPages::IndexPage(program.string(), data.string()), (data / "help/index.html").string());
    WritePage(program);
    EXPECT_EQ(THelpPages::IndexPage(program.string(), data.string()), (program / "help/index.html").string());
}

// A relative program folder still gives the browser an absolute path.
TEST(HelpPages, ThePageIsAnAbsolutePath)
{
    const test::TTempDir dir;
    WritePage(dir.Path());
    const fs::path previous = fs::current_path();
    fs::current_path(dir.Path());
    const std::string page = THelpPages::IndexPage(".", "");
    fs::current_path(previous);
    EXPECT_TRUE(fs::path(page).is_absolute()) << page;
    EXPECT_TRUE(fs::is_regular_file(page)) << page;
}

// The copy beside the command-line program: the index is found there, and
// every link and picture of every page resolves to a file of the copy.
TEST(HelpPages, EveryLinkOfTheShippedPagesResolves)
{
    const fs::path folder = KESTRUNE_BUILT_HELP;
    EXPECT_NE(THelpPages::IndexPage(folder.parent_path().string(), ""), "");
    const std::regex reference(R"re((?:href|src)="([^"#:]+)(?:#[^"]*)?")re");
    int pages = 0;
    int links = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".html")
            continue;
        ++pages;
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        const std::string html = text.str();
        EXPECT_NE(html.find("help.css"), std::string::npos) << entry.path();
        for (std::sregex_iterator it(html.begin(), html.end(), reference), end; it != end; ++it) {
            ++links;
            EXPECT_TRUE(fs::is_regular_file(folder / (*it)[1].str()))
                << entry.path().filename() << " links to missing " << (*it)[1];
        }
    }
    EXPECT_GE(pages, 5);
    EXPECT_GT(links, pages);
}

// Every window of the program (a TF... class in a ui folder) has a section
// of the help that names it and shows its picture from the screenshot tour,
// and nothing in the help still calls a window "coming".
TEST(HelpPages, EveryWindowHasASectionWithItsPicture)
{
    const fs::path folder = KESTRUNE_BUILT_HELP;
    std::string help;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".html")
            continue;
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        help += text.str();
    }
    EXPECT_EQ(help.find("class=\"coming\""), std::string::npos);
    EXPECT_EQ(help.find("later version"), std::string::npos);

    const std::regex section(R"re(<section data-window="([^"]+)">([\s\S]*?)</section>)re");
    const std::regex picture(R"re(<img src="(shots/[^"]+\.png)")re");
    std::map<std::string, int> pictures; // window -> pictures in its section
    for (std::sregex_iterator it(help.begin(), help.end(), section), end; it != end; ++it) {
        const std::string body = (*it)[2].str();
        int shown = 0;
        for (std::sregex_iterator p(body.begin(), body.end(), picture); p != end; ++p) {
            EXPECT_TRUE(fs::is_regular_file(folder / (*p)[1].str())) << (*p)[1];
            ++shown;
        }
        std::istringstream names((*it)[1].str());
        for (std::string name; names >> name;)
            pictures[name] += shown;
    }

    int windows = 0;
    for (const auto& ui : fs::directory_iterator(fs::path(KESTRUNE_SOURCE_DIR) / "src")) {
        if (!fs::is_directory(ui.path() / "ui"))
            continue;
        for (const auto& header : fs::directory_iterator(ui.path() / "ui")) {
            const std::string name = header.path().stem().string();
            if (header.path().extension() != ".h" || name.rfind("TF", 0) != 0)
                continue;
            ++windows;
            EXPECT_TRUE(pictures.count(name)) << name << " has no section in the help";
            EXPECT_GE(pictures[name], 1) << name << "'s help section shows no picture";
        }
    }
    EXPECT_GE(windows, 15);
}
