// Strings, errors, variables, exit callbacks and version checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "script_environment.h"
#include "test_support.h"

using standin::ScriptEnvironment;
using ::testing::HasSubstr;

namespace {

// A plug-in hands its own va_list on as void*.
char* ForwardToVSprintf(IScriptEnvironment& env, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    char* text = env.VSprintf(fmt, (void*)args);
    va_end(args);
    return text;
}

TEST(Strings, AreFormattedAndSavedCopies) {
    ScriptEnvironment env;
    EXPECT_STREQ(env.Sprintf("%d-%s-%.1f", 3, "x", 2.5), "3-x-2.5");
    EXPECT_STREQ(ForwardToVSprintf(env, "%s=%d, %s=%d", "a", 1, "b", -2), "a=1, b=-2");

    char source[] = "abcdef";
    const char* whole = env.SaveString(source, -1);
    const char* prefix = env.SaveString(source, 3);
    source[0] = 'X';
    EXPECT_STREQ(whole, "abcdef");
    EXPECT_STREQ(prefix, "abc");
}

TEST(Errors, CarryTheFormattedTextForTheEnvironmentsLifetime) {
    ScriptEnvironment env;
    const char* first = nullptr;
    try {
        env.ThrowError("bad %d frames in %s", 7, "clip");
    } catch (const AvisynthError& e) {
        first = e.msg;
    }
    EXPECT_EQ(ErrorFrom([&] { env.ThrowError("another"); }), "another");
    EXPECT_STREQ(first, "bad 7 frames in clip");
}

TEST(Variables, AreSetReadAndCopied) {
    ScriptEnvironment env;
    EXPECT_THAT(ErrorFrom([&] { env.GetVar("missing"); }), HasSubstr("\"missing\""));

    char text[] = "value";
    EXPECT_TRUE(env.SetVar("Name", AVSValue(text)));
    EXPECT_FALSE(env.SetGlobalVar("name", AVSValue(5)));
    EXPECT_TRUE(env.SetVar("other", AVSValue(text)));
    text[0] = 'X';

    EXPECT_EQ(env.GetVar("NAME").AsInt(0), 5);
    EXPECT_STREQ(env.GetVar("other").AsString(), "value");
}

TEST(ExitCallbacks, RunAtDestructionLastRegisteredFirst) {
    std::vector<int> order;
    {
        ScriptEnvironment env;
        env.AtExit([](void* data, IScriptEnvironment*) { static_cast<std::vector<int>*>(data)->push_back(1); },
                   &order);
        env.AtExit([](void* data, IScriptEnvironment*) { static_cast<std::vector<int>*>(data)->push_back(2); },
                   &order);
        EXPECT_TRUE(order.empty());
    }
    EXPECT_EQ(order, (std::vector<int>{2, 1}));
}

TEST(Versions, LaterInterfacesAreRefused) {
    ScriptEnvironment env;
    env.CheckVersion(2);
    env.CheckVersion(AVISYNTH_INTERFACE_VERSION);
    EXPECT_THAT(ErrorFrom([&] { env.CheckVersion(4); }), HasSubstr("later version"));
}

}  // namespace
