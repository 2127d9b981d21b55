#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "system/DesktopEntry.h"

namespace vx {
namespace {

// What an Exec line must hold so that the command-line quoting, the key
// file's escapes and the field codes each give back exactly the path.
TEST(DesktopEntry, ExecQuotesThePathForTheCommandLineThenEscapesItForTheKeyFile) {
    struct Case {
        std::string path;
        std::string exec;
    };
    const std::vector<Case> cases{
        {"/usr/bin/ventilux", R"("/usr/bin/ventilux")"},
        {"/opt/my apps/ventilux", R"("/opt/my apps/ventilux")"},
        {R"(/a"b/v)", R"("/a\\"b/v")"},
        {"/a`b/v", R"("/a\\`b/v")"},
        {"/a$HOME/v", R"("/a\\$HOME/v")"},
        {R"(/a\b/v)", R"("/a\\\\b/v")"},
        {"/a'b;c&d|e/v", R"("/a'b;c&d|e/v")"},
        {"/a\nb\tc/v", R"("/a\nb\tc/v")"},
        {"/a%fb/v", R"(/bin/sh -c "exec \\"\\$0\\"" "/a%%fb/v")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DesktopEntry::execValue(c.path), c.exec) << c.path;
    }
}

TEST(DesktopEntry, APathThatIsNotUtf8CannotBeNamed) {
    for (const char* path : {"/opt/\xff/ventilux", "/opt/\xC0\xAF/ventilux", "/opt/\xED\xA0\x80/v",
                             "/opt/\xE2\x82/v"}) {
        EXPECT_FALSE(DesktopEntry::applicationEntry(path)) << path;
    }
    auto entry = DesktopEntry::applicationEntry("/opt/caf\xC3\xA9 \xE2\x8C\x98/ventilux");
    ASSERT_TRUE(entry);
    EXPECT_EQ(*entry,
              "[Desktop Entry]\nType=Application\nName=Ventilux\n"
              "Exec=\"/opt/caf\xC3\xA9 \xE2\x8C\x98/ventilux\"\n");
}

}  // namespace
}  // namespace vx
