// Associations: mimeapps.list edited line by line, checked with the real
// xdg-mime on private XDG folders; the registry store's values given back.
#include "shell/core/file_associations.h"

#include "platform/settings_keys.h"
#include "shell/core/mime_apps.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace pictorand {
namespace {

using namespace pictorand::testing;

std::string fileText(const std::string& path)
{
    const std::vector<uint8_t> bytes = fileExists(path) ? readFile(path) : std::vector<uint8_t>();
    return std::string(bytes.begin(), bytes.end());
}

void writeText(const std::string& path, const std::string& text)
{
    writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

TEST(MimeAppsList, ChangesOnlyTheLinesItIsAskedTo)
{
    ScratchDir dir;
    const std::string path = dir.file("mimeapps.list");
    const std::string original = "# mine\n[Added Associations]\nimage/png=a.desktop;\n\n"
                                 "[Default Applications]\r\nimage/gif = old.desktop\r\n\n[Removed Associations]\nx/y=z;";
    writeText(path, original);
    MimeAppsList list = MimeAppsList::read(path);
    EXPECT_EQ(list.defaultFor("image/gif"), "old.desktop");
    EXPECT_EQ(list.defaultFor("image/png"), ""); // only the default section counts
    list.setDefault("image/gif", "new.desktop;");
    list.setDefault("image/png", "new.desktop;");
    std::string error;
    ASSERT_TRUE(list.write(path, error)) << error;
    EXPECT_EQ(fileText(path), "# mine\n[Added Associations]\nimage/png=a.desktop;\n\n[Default Applications]\r\n"
                              "image/gif=new.desktop;\nimage/png=new.desktop;\n\n[Removed Associations]\nx/y=z;");
    list.removeDefault("image/png");
    list.setDefault("image/gif", "old.desktop");
    EXPECT_EQ(list.text(), "# mine\n[Added Associations]\nimage/png=a.desktop;\n\n[Default Applications]\r\n"
                           "image/gif=old.desktop\n\n[Removed Associations]\nx/y=z;");

    MimeAppsList empty = MimeAppsList::read(dir.file("missing.list"));
    empty.setDefault("image/png", "p.desktop;");
    EXPECT_EQ(empty.text(), "[Default Applications]\nimage/png=p.desktop;\n");
    EXPECT_FALSE(empty.write(dir.file("no/such/folder/mimeapps.list"), error));
}

TEST(FileAssociations, DesktopEntryQuotesAPathWithBlanks)
{
    const std::string entry = desktopEntryText("/opt/my apps/100%/pictorand32");
    EXPECT_NE(entry.find("\nExec=\"/opt/my apps/100%%/pictorand32\" %f\n"), std::string::npos) << entry;
    EXPECT_NE(desktopEntryText("/usr/bin/pictorand32").find("\nExec=/usr/bin/pictorand32 %f\n"), std::string::npos);
    EXPECT_EQ(programCommand("/opt/my apps/pictorand32"), "/opt/my apps/pictorand32 %1");
}

class Associations : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* folder : {"config", "data/applications", "system"})
            std::filesystem::create_directories(dir.file(folder));
        mimeApps = dir.file("config/mimeapps.list");
        writeText(mimeApps, original);
        // xdg-mime names an entry only when its program exists.
        writeText(dir.file("data/applications/org.example.Viewer.desktop"),
                  "[Desktop Entry]\nType=Application\nName=V\nExec=true %f\nMimeType=image/png;\n");
    }

    std::string queryDefault(const std::string& type)
    {
        const std::string command = "env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION XDG_CONFIG_HOME='" + dir.file("config")
                                    + "' XDG_CONFIG_DIRS='" + dir.file("system") + "' XDG_DATA_HOME='" + dir.file("data")
                                    + "' XDG_DATA_DIRS='" + dir.file("system") + "' xdg-mime query default " + type
                                    + " 2>/dev/null";
        std::string answer;
        if (std::FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[256];
            while (std::fgets(buffer, sizeof buffer, pipe))
                answer += buffer;
            pclose(pipe);
        }
        return answer.substr(0, answer.find('\n'));
    }

    std::vector<bool> tick(std::initializer_list<const char*> keys)
    {
        std::vector<bool> ticked;
        for (const AssociationBox& group : associationGroups())
            ticked.push_back(std::find_if(keys.begin(), keys.end(), [&](const char* k) { return std::string(k) == group.key; })
                             != keys.end());
        return ticked;
    }

    ScratchDir dir;
    std::string mimeApps;
    const std::string original = "[Added Associations]\nimage/png=org.example.Viewer.desktop;\n\n"
                                 "[Default Applications]\nimage/png=org.example.Viewer.desktop\n";
    SettingsFile settings{dir.file("P_RAND32.INI")};
    SettingsFile registry{dir.file("Registry.ini")};
    AssociationPlaces places{settings, registry, dir.file("config/mimeapps.list"), PICTORAND_VIEWER_PATH};
};

TEST_F(Associations, TickingMakesUsTheDefaultAndUntickingPutsBackWhatWasThere)
{
    REQUIRE_TOOLS("xdg-mime");
    ASSERT_TRUE(registerProgramClass(places, dir.file("data/applications")));
    ASSERT_EQ(queryDefault("image/png"), "org.example.Viewer.desktop");

    AssociationOutcome taken = applyAssociations(tick({"PNG", "JPG", "MODERN"}), true, places);
    EXPECT_TRUE(taken.failures.empty());
    EXPECT_EQ(queryDefault("image/png"), kDesktopEntryId);
    EXPECT_EQ(queryDefault("image/jpeg"), kDesktopEntryId);
    EXPECT_EQ(queryDefault("image/avif"), kDesktopEntryId);
    EXPECT_EQ(registry.readText("SOFTWARE\\Classes\\.JXL", "@", ""), kProgramClass);
    EXPECT_EQ(settings.readText(settings::ExtensionsSection, "PNG", ""), "1");
    EXPECT_EQ(registry.readText("SOFTWARE\\Classes\\.JPEG", "@", ""), kProgramClass);

    applyAssociations(tick({}), true, places);
    EXPECT_EQ(queryDefault("image/png"), "org.example.Viewer.desktop");
    EXPECT_EQ(fileText(mimeApps), original); // every line as it was
    EXPECT_EQ(settings.readText(settings::ExtensionsSection, "JPG", ""), "0");
    EXPECT_EQ(registry.readText("SOFTWARE\\Classes\\.JPEG", "@", "none"), "none");
}

TEST_F(Associations, EachRunRenewsTheClassAndAnEntryTheUserHasWithThePresentPath)
{
    const std::string applications = dir.file("data/applications");
    const std::string entry = applications + "/" + kDesktopEntryId;
    refreshProgramClass(places, applications);
    EXPECT_EQ(registry.readText("SOFTWARE\\Classes\\Pictorand32\\DefaultIcon", "@", ""), places.programPath + ",0");
    EXPECT_FALSE(std::filesystem::exists(entry)); // never made unasked

    ASSERT_TRUE(registerProgramClass(places, applications));
    places.programPath = "/opt/moved/pictorand32";
    refreshProgramClass(places, applications);
    EXPECT_EQ(fileText(entry), desktopEntryText("/opt/moved/pictorand32"));
}

TEST_F(Associations, AGroupIsRecordedOnlyOnceItsDefaultsAreWritten)
{
    places.mimeAppsPath = dir.file("missing/mimeapps.list");
    AssociationOutcome outcome = applyAssociations(tick({"GIF"}), true, places);
    ASSERT_EQ(outcome.failures.size(), 1u);
    EXPECT_EQ(settings.readInt(settings::ExtensionsSection, "GIF", 0), 0);
}

// Every box ticked and then unticked, with and without the BMP thumbnail:
// the settings file, the registry store,
// mimeapps.list and the desktop entry hold what they always held (the
// fixture's README says how it was made).
TEST(FileAssociations, EveryBoxWritesWhatItAlwaysWrote)
{
    const size_t count = associationGroups().size();
    std::string log = desktopEntryText("/opt/pictorand32/pictorand32");
    const auto run = [&](const std::vector<std::vector<bool>>& steps, bool thumbnail) {
        ScratchDir dir;
        SettingsFile settings{dir.file("P_RAND32.INI")};
        SettingsFile registry{dir.file("Registry.ini")};
        AssociationPlaces places{settings, registry, dir.file("mimeapps.list"), "/opt/pictorand32/pictorand32"};
        writeText(places.mimeAppsPath, "[Default Applications]\nimage/png=org.example.Viewer.desktop\n");
        for (size_t step = 0; step < steps.size(); ++step) {
            applyAssociations(steps[step], thumbnail, places);
            log += std::string("== ") + (step == 0 ? "ticked" : "unticked") + (thumbnail ? ", thumbnail\n" : "\n");
            for (const char* name : {"P_RAND32.INI", "Registry.ini", "mimeapps.list"})
                log += std::string("-- ") + name + "\n" + fileText(dir.file(name));
        }
    };
    for (const bool thumbnail : {false, true})
        run({std::vector<bool>(count, true), std::vector<bool>(count, false)}, thumbnail);
    EXPECT_EQ(log, fileText(std::string(PICTORAND_SOURCE_DIR) + "/tests/fixtures/associations/every_box.txt"));
}

TEST_F(Associations, ADesktopsOwnListThatOverridesOursIsNamed)
{
    const std::string gnomeList = dir.file("config/gnome-mimeapps.list");
    writeText(gnomeList, "[Default Applications]\nimage/gif=other.desktop\n");
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    AssociationOutcome outcome = applyAssociations(tick({"GIF"}), true, places);
    unsetenv("XDG_CURRENT_DESKTOP");
    EXPECT_EQ(outcome.overriddenBy, gnomeList);
}

} // namespace
} // namespace pictorand
