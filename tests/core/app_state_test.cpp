#include <gtest/gtest.h>

#include "sysfiles/app_state.h"

namespace velmora {
namespace {

TEST(AppState, ModulePathKeepsTheDoubledSeparator) {
    const std::string saved = App().moduleFolder;
    App().moduleFolder = "/opt/velmora/";
    EXPECT_EQ(ModulePath("/System/LanguageData.ini"), "/opt/velmora//System/LanguageData.ini");
    App().moduleFolder = saved;
}

}  // namespace
}  // namespace velmora

#include "app/geometry.h"

namespace velmora {
namespace {

TEST(CenterOnWorkArea, CentresAndTruncatesTowardsZero) {
    struct Case {
        ScreenRect work;
        ScreenRect window;
        int left;
        int top;
    };
    const Case cases[] = {
        {{0, 0, 1920, 1040}, {5, 5, 400, 300}, 760, 370},
        {{0, 40, 1280, 984}, {0, 0, 401, 301}, 439, 381},  // odd remainders drop the half
        {{100, 0, 800, 600}, {0, 0, 1001, 701}, 0, -50},   // -201/2 truncates to -100
        {{0, 0, 800, 600}, {0, 0, 803, 600}, -1, 0},       // -3/2 is -1, not -2
    };
    for (const Case& c : cases) {
        const ScreenRect placed = CenterOnWorkArea(c.work, c.window);
        EXPECT_EQ(placed.left, c.left);
        EXPECT_EQ(placed.top, c.top);
        EXPECT_EQ(placed.width, c.window.width);
        EXPECT_EQ(placed.height, c.window.height);
    }
}

}  // namespace
}  // namespace velmora
