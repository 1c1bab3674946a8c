#pragma once

#include <string>

namespace kestrune {

// Where the help pages shipped with the program lie: help/index.html beside
// the running executable (the build tree, a portable copy), else in the
// installed data folder. The desktop opens the page in the user's browser.
class THelpPages {
public:
    static constexpr const char* IndexName = "help/index.html";

    // The index page for this program; "" when neither place has it.
    static std::string IndexPage();
    // The same, looked up in the two given folders.
    static std::string IndexPage(const std::string& ProgramFolder, const std::string& DataFolder);
};

} // namespace kestrune
