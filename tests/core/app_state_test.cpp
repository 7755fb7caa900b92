#include <gtest/gtest.h>

#include "app/app_state.h"

namespace velmora {
namespace {

TEST(AppState, StartsWithAllFunctionsEnabledAndNoRestart) {
    AppState fresh;
    EXPECT_EQ(fresh.functionEnables.actuatorWriteEnabled, 1);
    EXPECT_EQ(fresh.functionEnables.fileWriteEnabled, 1);
    EXPECT_EQ(fresh.functionEnables.backupEnabled, 1);
    EXPECT_EQ(fresh.restartRequested, 0);
    EXPECT_EQ(fresh.commSettings.portName, "");
}

TEST(AppState, ModulePathKeepsTheDoubledSeparator) {
    const std::string saved = App().moduleFolder;
    App().moduleFolder = "/opt/velmora/";
    EXPECT_EQ(ModulePath("/System/LanguageData.ini"), "/opt/velmora//System/LanguageData.ini");
    App().moduleFolder = saved;
}

}  // namespace
}  // namespace velmora
