// Which catalogue servoctl reads: --catalogue wins; without it the working directory's, then
// the user's, and -v names the catalogue when it is not the working directory's.
#include "CtlFixture.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;

class CatalogueChoice : public CtlFixture {
protected:
    void SetUp() override
    {
        BusFixture::SetUp();
        AddServo(1, kKestrel);
        StartServing();
        root = fs::path(testing::TempDir()) / ("choice-" + std::to_string(::getpid()));
        fs::create_directories(root / "work");
        fs::create_directories(root / "config" / "servo-debugger");
        previousDir = fs::current_path();
        fs::current_path(root / "work");
        const char* saved = std::getenv("XDG_CONFIG_HOME");
        previousConfig = saved ? saved : "";
        hadConfig = saved != nullptr;
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    }
    void TearDown() override
    {
        if (hadConfig)
            ::setenv("XDG_CONFIG_HOME", previousConfig.c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        fs::current_path(previousDir);
        fs::remove_all(root);
        BusFixture::TearDown();
    }
    // The shipped catalogue with servo 1's model renamed.
    void WriteCatalogue(const fs::path& file, const std::string& name)
    {
        std::ifstream in(catalogueFile, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        text.replace(text.find("Kestrel-12"), 10, name);
        std::ofstream(file, std::ios::binary) << text;
    }
    // servoctl -v scan --to 1, with or without --catalogue.
    int Scan(const std::string& catalogue)
    {
        std::vector<std::string> args = {"servoctl", "-v", "-p", bus->DevicePath(), "-t", "50"};
        if (!catalogue.empty())
            args.insert(args.end(), {"--catalogue", catalogue});
        args.insert(args.end(), {"scan", "--to", "1"});
        out.str("");
        err.str("");
        return RunServoCtl(args, out, err);
    }

    fs::path root, previousDir;
    std::string previousConfig;
    bool hadConfig = false;
};

TEST_F(CatalogueChoice, OptionThenWorkingDirectoryThenUsers)
{
    const std::string user = (root / "config" / "servo-debugger" / "setup.log").string();
    WriteCatalogue(user, "Kestrel-US");
    ASSERT_EQ(Scan(""), 0) << err.str();
    EXPECT_EQ(out.str(), "1\tKestrel-US\n");
    EXPECT_EQ(err.str(), "servoctl: catalogue: " + user + " (the user's)\n");

    WriteCatalogue(root / "work" / "setup.log", "Kestrel-WD");
    ASSERT_EQ(Scan(""), 0) << err.str();
    EXPECT_EQ(out.str(), "1\tKestrel-WD\n");
    EXPECT_EQ(err.str(), "");  // the working directory's goes unnamed

    ASSERT_EQ(Scan(catalogueFile), 0) << err.str();
    EXPECT_EQ(out.str(), "1\tKestrel-12\n");
    EXPECT_EQ(err.str(), "");
}

}  // namespace
