// Registration, parameter strings and binding arguments to registered functions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame_tools.h"
#include "memory_clip.h"
#include "script_environment.h"
#include "test_support.h"

using standin::ScriptEnvironment;
using ::testing::HasSubstr;

namespace {

constexpr const char* kProbeParams = "c[sh]i[scale]f[name]s[flag]b";

// Records the arguments it receives (user_data is the record) and returns their count.
AVSValue Record(AVSValue args, void* userData, IScriptEnvironment*) {
    auto* seen = static_cast<std::vector<AVSValue>*>(userData);
    for (int i = 0; i < args.ArraySize(); ++i) {
        seen->push_back(args[i]);
        // The host releases every clip argument once more after this call returns.
        if (args[i].IsClip()) AddClipReference(args[i].AsClip().get());
    }
    return AVSValue(args.ArraySize());
}

AVSValue Boom(AVSValue, void*, IScriptEnvironment* env) {
    env->ThrowError("boom %d", 1);
    return AVSValue();  // not reached; GCC does not see [[noreturn]] through the virtual call
}

TEST(Registry, AcceptsTheParameterGrammarAndNothingElse) {
    ScriptEnvironment env;
    std::vector<AVSValue> seen;
    for (const char* params : {"", "c", "c[sh]i[sm]i[c4]b[useclip]b[sclip]c[smu]i[smv]i",
                               "i*", "[x]f+", "s.b", "[a_1]."})
        EXPECT_EQ(ErrorFrom([&] { env.AddFunction("Good", params, Record, &seen); }), "(no error)")
            << params;
    for (const char* params : {"x", "[", "[]i", "[a]", "[a b]i", "i**", "*", "c[sh]", "[a]i[A]i"}) {
        EXPECT_THAT(ErrorFrom([&] { env.AddFunction("Bad", params, Record, &seen); }),
                    HasSubstr("invalid parameter string"))
            << params;
    }
    EXPECT_FALSE(env.FunctionExists("Bad"));
    EXPECT_THAT(ErrorFrom([&] { env.AddFunction("Bad", nullptr, Record, &seen); }),
                HasSubstr("invalid parameter string"));
}

TEST(Registry, ListsFunctionsAndReplacesReregisteredNames) {
    ScriptEnvironment env;
    int first = 0, second = 0;
    env.AddFunction("BasinLift", "c", Record, &first);
    env.AddFunction("Other", "i", Boom, nullptr);
    env.AddFunction("basinlift", "c[sh]i", Record, &second);

    const std::vector<standin::RegisteredFunction> functions = env.Functions();
    ASSERT_EQ(functions.size(), 2u);
    EXPECT_EQ(functions[0].params, "c[sh]i");
    EXPECT_EQ(functions[0].userData, &second);
    EXPECT_EQ(functions[0].apply, &Record);
    EXPECT_EQ(functions[1].name, "Other");
    EXPECT_TRUE(env.FunctionExists("BASINLIFT"));
    EXPECT_FALSE(env.FunctionExists("Missing"));
}

class Binding : public ::testing::Test {
protected:
    Binding() {
        env_.AddFunction("Probe", kProbeParams, Record, &seen_);
        clip_ = standin::MemoryClip::Generate(
            env_, standin::MakeVideoInfo(8, 2, VideoInfo::CS_BGR32), [](int, VideoFrame&) {});
    }
    std::string Error(const std::vector<AVSValue>& positional,
                      const standin::NamedArguments& named = {}) {
        return ErrorFrom([&] { env_.Invoke("Probe", positional, named); });
    }

    ScriptEnvironment env_;
    std::vector<AVSValue> seen_;
    PClip clip_;
};

TEST_F(Binding, PositionalArgumentsFillFromTheFirstAndOmittedOnesStayUndefined) {
    EXPECT_EQ(env_.Invoke("Probe", {clip_, 3}).AsInt(), 5);
    ASSERT_EQ(seen_.size(), 5u);
    EXPECT_TRUE(seen_[0].AsClip() == clip_);
    EXPECT_EQ(seen_[1].AsInt(0), 3);
    for (int i = 2; i < 5; ++i) EXPECT_FALSE(seen_[i].Defined()) << i;

    seen_.clear();
    env_.Invoke("Probe", {clip_, 1, 2.5, "n", true});
    EXPECT_DOUBLE_EQ(seen_[2].AsFloat(), 2.5);
    EXPECT_STREQ(seen_[3].AsString(), "n");
    EXPECT_TRUE(seen_[4].AsBool(false));
}

TEST_F(Binding, NamedArgumentsFillTheirParametersAndIntsBecomeFloats) {
    char name[] = "label";
    env_.Invoke("Probe", {clip_}, {{"SCALE", 2}, {"name", name}});
    ASSERT_EQ(seen_.size(), 5u);
    EXPECT_FALSE(seen_[1].Defined());
    EXPECT_TRUE(seen_[2].IsFloat());
    EXPECT_FALSE(seen_[2].IsInt());
    EXPECT_DOUBLE_EQ(seen_[2].AsFloat(), 2.0);
    EXPECT_STREQ(seen_[3].AsString(), "label");
    EXPECT_NE(seen_[3].AsString(), name);  // the host's copy outlives the caller's buffer
}

TEST_F(Binding, BadCallsGetTheHostsScriptErrors) {
    const std::string prefix = "Script error: Invalid arguments to function \"Probe\": ";
    EXPECT_EQ(ErrorFrom([&] { env_.Invoke("Nope", {}); }),
              "Script error: there is no function named \"Nope\"");
    EXPECT_EQ(Error({clip_, 1, 2.0, "s", true, 6}), prefix + "too many arguments (6 given, at most 5)");
    EXPECT_EQ(Error({clip_}, {{"bogus", 1}}), prefix + "there is no parameter named \"bogus\"");
    EXPECT_EQ(Error({clip_, 3}, {{"sh", 4}}), prefix + "parameter \"sh\" is given twice");
    EXPECT_EQ(Error({clip_}, {{"sh", 4}, {"Sh", 5}}), prefix + "parameter \"sh\" is given twice");
    EXPECT_EQ(Error({}), prefix + "argument 1 is missing (expects a clip)");
    EXPECT_EQ(Error({3}), prefix + "argument 1 expects a clip");
    EXPECT_EQ(Error({clip_, 1.5}), prefix + "parameter \"sh\" expects an integer");
    EXPECT_EQ(Error({clip_}, {{"scale", "big"}}), prefix + "parameter \"scale\" expects a float");
    EXPECT_EQ(Error({clip_}, {{"name", 1}}), prefix + "parameter \"name\" expects a string");
    EXPECT_EQ(Error({clip_}, {{"flag", "yes"}}), prefix + "parameter \"flag\" expects a boolean");
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(clip_->RefCount(), 1);

    env_.AddFunction("Many", "c+", Record, &seen_);
    EXPECT_THAT(ErrorFrom([&] { env_.Invoke("Many", {clip_}); }), HasSubstr("repeated parameters"));
}

TEST_F(Binding, TheInterfaceSlotTakesNamesForArrayElementsAndAdoptsItsArgument) {
    const AVSValue args[] = {clip_, AVSValue("n"), AVSValue(4)};
    const char* const names[] = {nullptr, "name", "sh"};
    const AVSValue count = static_cast<IScriptEnvironment&>(env_).Invoke("Probe", AVSValue(args, 3), names);
    EXPECT_EQ(count.AsInt(0), 5);
    ASSERT_EQ(seen_.size(), 5u);
    EXPECT_EQ(seen_[1].AsInt(0), 4);
    EXPECT_STREQ(seen_[3].AsString(), "n");

    seen_.clear();
    static_cast<IScriptEnvironment&>(env_).Invoke("Probe", AVSValue(clip_));  // a single value is one argument
    ASSERT_EQ(seen_.size(), 5u);
    EXPECT_TRUE(seen_[0].AsClip() == clip_);
    seen_.clear();
    // Ours and args[0]'s: the by-value argument's references were released.
    EXPECT_EQ(clip_->RefCount(), 2);
}

// AviSynth+ on POSIX releases every clip of a classic creation call's arguments once more after a
// successful call, and not after a refused one; plug-ins make up for the first, so the stand-in
// host must do the same for them to be right in both hosts.
AVSValue KeepNothing(AVSValue args, void*, IScriptEnvironment*) { return args[0]; }

TEST_F(Binding, ClipArgumentsAreReleasedOnceMoreAfterASuccessfulCall) {
    env_.AddFunction("KeepNothing", "c", KeepNothing, nullptr);
    AddClipReference(clip_.get());  // what a plug-in takes to make up for the release
    const AVSValue result = env_.Invoke("KeepNothing", {clip_});
    EXPECT_EQ(clip_->RefCount(), 2);  // ours and the result's
}

TEST_F(Binding, ClipArgumentsOfARefusedCallAreNotReleasedAgain) {
    env_.AddFunction("Refuse", "c", Boom, nullptr);
    EXPECT_EQ(ErrorFrom([&] { env_.Invoke("Refuse", {clip_}); }), "boom 1");
    EXPECT_EQ(clip_->RefCount(), 1);
}

TEST_F(Binding, ErrorsFromTheFunctionPassThrough) {
    env_.AddFunction("Boom", "", Boom, nullptr);
    EXPECT_EQ(ErrorFrom([&] { env_.Invoke("Boom", {}); }), "boom 1");
}

}  // namespace
