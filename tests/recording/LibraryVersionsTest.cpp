// The libraries the about window lists, read from the libraries this machine
// loads, and one of them missing.
#include "recording/TLibraryVersions.h"

#include "codecs/TDynamicLibrary.h"

#include <alsa/version.h>
#include <chromaprint.h>
#include <curl/curlver.h>
#include <pulse/version.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

using namespace kestrune;

namespace {

const TLibraryVersion* Find(const std::vector<TLibraryVersion>& List, const std::string& Name)
{
    for (const auto& entry : List)
        if (entry.Name == Name)
            return &entry;
    return nullptr;
}

// Makes one soname unloadable for the life of the object.
struct TMissingLibrary {
    std::string SoName;
    explicit TMissingLibrary(std::string Name) : SoName(std::move(Name))
    {
        TDynamicLibrary::ReplaceSoName(SoName, "libkestrune-absent.so.9");
    }
    ~TMissingLibrary() { TDynamicLibrary::ReplaceSoName(SoName, ""); }
};

} // namespace

// Every library the build machine has is reported with the version the loaded
// library gives; where its header names the release, the two agree (the test
// machine's headers and libraries come from the same packages).
TEST(LibraryVersions, ReportsTheLoadedVersions)
{
    const auto list = TLibraryVersions::Read();
    std::vector<std::string> names;
    for (const auto& entry : list)
        names.push_back(entry.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"LAME", "mpg123", "libFLAC", "libvorbis", "Chromaprint", "libcurl",
                                               "libasound", "libpulse"}));

    const std::regex number(R"(\d+(\.\d+)+)");
    for (const auto& entry : list) {
        SCOPED_TRACE(entry.Name);
        EXPECT_TRUE(entry.Installed);
        if (entry.Name == "mpg123")
            EXPECT_NE(entry.Version.find("libmpg123.so.0"), std::string::npos) << entry.Version;
        else
            EXPECT_TRUE(std::regex_match(entry.Version, number)) << entry.Version;
    }

    const std::string chromaprint = std::to_string(CHROMAPRINT_VERSION_MAJOR) + "." +
                                    std::to_string(CHROMAPRINT_VERSION_MINOR) + "." +
                                    std::to_string(CHROMAPRINT_VERSION_PATCH);
    const std::pair<const char*, std::string> fromHeaders[] = {
        {"Chromaprint", chromaprint},
        {"libcurl", LIBCURL_VERSION},
        {"libasound", SND_LIB_VERSION_STR},
        {"libpulse", pa_get_headers_version()},
    };
    for (const auto& [name, version] : fromHeaders) {
        const auto* entry = Find(list, name);
        ASSERT_NE(entry, nullptr) << name;
        EXPECT_EQ(entry->Version, version) << name;
    }
}

// Each library in turn missing: its row alone says "not installed".
TEST(LibraryVersions, AMissingLibraryIsNotInstalledAndTheOthersStay)
{
    const auto all = TLibraryVersions::Read();
    for (const auto& gone : all) {
        SCOPED_TRACE(gone.Name);
        std::vector<TLibraryVersion> list;
        {
            const TMissingLibrary missing(gone.SoName);
            list = TLibraryVersions::Read();
        }
        ASSERT_EQ(list.size(), all.size());
        for (std::size_t i = 0; i < list.size(); ++i) {
            if (list[i].Name == gone.Name) {
                EXPECT_FALSE(list[i].Installed);
                EXPECT_EQ(TLibraryVersions::Shown(list[i]), "not installed");
            } else {
                EXPECT_TRUE(list[i].Installed) << list[i].Name;
                EXPECT_EQ(TLibraryVersions::Shown(list[i]), all[i].Version) << list[i].Name;
            }
        }
    }
}

TEST(LibraryVersions, PicksTheNumberOutOfABanner)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Xiph.Org libVorbis 1.3.7", "1.3.7"},
        {"libcurl/7.88.1 OpenSSL/3.0.15 zlib/1.2.13", "7.88.1"},
        {"3.100", "3.100"},
        {"1.2.8.", "1.2.8"},
        {"  no number here \n", "no number here"},
        {"", ""},
    };
    for (const auto& [banner, expected] : cases)
        EXPECT_EQ(TLibraryVersions::VersionNumber(banner), expected) << banner;
}
