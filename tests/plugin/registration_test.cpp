#include "plugin_fixture.h"

TEST_F(PluginTest, RegistersOneFunctionWithItsSignatureAndDescription) {
    EXPECT_EQ(description_, "BasinLift  Plugin");
    const auto functions = env_.Functions();
    ASSERT_EQ(functions.size(), 1u);
    EXPECT_EQ(functions[0].name, "BasinLift");
    EXPECT_EQ(functions[0].params, "c[sh]i[sm]i[c4]b[useclip]b[sclip]c[smu]i[smv]i");
    EXPECT_EQ(functions[0].userData, nullptr);
}

TEST_F(PluginTest, LoadingAgainRegistersAgainAndKeepsWorking) {
    EXPECT_EQ(env_.LoadPlugin(BASINLIFT_PLUGIN_PATH), "BasinLift  Plugin");
    EXPECT_EQ(env_.Functions().size(), 1u);
    const PClip input = RandomClip(8, 6, VideoInfo::CS_BGR24);
    const PClip filtered = BasinLift(input);
    ASSERT_TRUE(filtered);
    EXPECT_TRUE(filtered->GetFrame(0, &env_));
}
