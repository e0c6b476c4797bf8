// The catalogue search order: the working directory, then the user's folder, then the
// installed one, each only when it holds a regular file "setup.log".
#include "CatalogueFixture.h"

#include "catalogue/CatalogueLocation.h"

#include <cstdlib>

namespace {

namespace fs = std::filesystem;

class CatalogueLocationTest : public CatalogueFixture {
protected:
    void SetUp() override
    {
        CatalogueFixture::SetUp();
        previous = fs::current_path();
        for (const char* sub : {"work", "user", "installed"})
            fs::create_directories(dir / sub);
        fs::current_path(dir / "work");
    }
    void TearDown() override
    {
        fs::current_path(previous);
        CatalogueFixture::TearDown();
    }
    void Place(const char* sub) { std::ofstream(dir / sub / "setup.log") << "[型号]\n"; }
    CatalogueSearch Where() const
    {
        return {(dir / "user").string(), (dir / "installed").string()};
    }

    fs::path previous;
};

TEST_F(CatalogueLocationTest, FirstPlaceWithAFileWins)
{
    struct Case {
        std::vector<const char*> files;
        CatalogueSource source;
        const char* folder;  // nullptr: the working directory's, named relatively
    };
    const Case cases[] = {
        {{"work", "user", "installed"}, CatalogueSource::WorkingDirectory, nullptr},
        {{"work", "installed"}, CatalogueSource::WorkingDirectory, nullptr},
        {{"user", "installed"}, CatalogueSource::User, "user"},
        {{"installed"}, CatalogueSource::Installed, "installed"},
        {{}, CatalogueSource::WorkingDirectory, nullptr},
    };
    for (const Case& c : cases) {
        for (const char* sub : {"work", "user", "installed"})
            fs::remove(dir / sub / "setup.log");
        for (const char* sub : c.files)
            Place(sub);
        const CatalogueLocation found = FindCatalogue(Where());
        const std::string expected =
            c.folder ? (dir / c.folder / "setup.log").string() : std::string("setup.log");
        EXPECT_EQ(found.path, expected) << c.files.size() << " files";
        EXPECT_EQ(found.source, c.source) << c.files.size() << " files";
        EXPECT_EQ(CatalogueNote(found).empty(), c.folder == nullptr);
    }
}

TEST_F(CatalogueLocationTest, AFolderNamedSetupLogIsNoCatalogue)
{
    fs::create_directories(dir / "work" / "setup.log");
    fs::create_directories(dir / "user" / "setup.log");
    Place("installed");
    EXPECT_EQ(FindCatalogue(Where()).source, CatalogueSource::Installed);
}

#ifndef _WIN32
TEST_F(CatalogueLocationTest, UserFolderFollowsXdgConfigHome)
{
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", (dir / "user").c_str(), 1);
    EXPECT_EQ(CatalogueSearch::FromEnvironment().userDir, (dir / "user" / "servo-debugger").string());
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // ignored, as if unset
    EXPECT_EQ(CatalogueSearch::FromEnvironment().userDir,
              (fs::path(std::getenv("HOME")) / ".config" / "servo-debugger").string());
    if (saved)
        ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
#endif

}  // namespace
