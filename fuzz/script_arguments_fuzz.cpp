// The bytes are command-line words, one per line, for the tool's name=value binding
// (cli::BindNamedArguments). Normally they are bound against the plug-in's registered
// signature; an input whose first line starts with '!' gives its own parameter string on that
// line instead, which exercises the parameter-string parser too.
//
// Properties: only cli::UsageError comes out (or standin::HostError, exactly when the
// parameter string itself is malformed); the outcome agrees with an independent reading of
// the rules: a call whose every word is well formed binds, one with an ill-formed word is
// refused; and a binding holds one argument per word, in order, under the signature's
// spelling of the name, with the parameter's type and the word's value.
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "host_error.h"
#include "named_arguments.h"
#include "parameter_list.h"
#include "command_line.h"

namespace {

// As AvisynthPluginInit2 registers "BasinLift".
constexpr char kSignature[] = "c[sh]i[sm]i[c4]b[useclip]b[sclip]c[smu]i[smv]i";

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Signed 32-bit decimal: an optional sign, then one or more digits, nothing else.
std::optional<int> ParseInteger(const std::string& text) {
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    if (pos == text.size()) return std::nullopt;
    std::string digits;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') return std::nullopt;
        if (digits.empty() && text[pos] == '0') continue;  // leading zeros
        digits += text[pos];
    }
    // Compare as strings so that no width of integer can overflow.
    const std::string limit = negative ? "2147483648" : "2147483647";
    if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit))
        return std::nullopt;
    const long long magnitude = digits.empty() ? 0 : std::stoll(digits);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

enum class Verdict { Good, Bad, Unknown };

struct Expectation {
    Verdict verdict = Verdict::Good;
    std::vector<const standin::Parameter*> parameters;  // per word, when it names one
};

// Reads the words as the rules say, without the binding's code.
Expectation Expect(const std::vector<std::string>& words,
                   const std::vector<standin::Parameter>& parameters) {
    Expectation e;
    std::vector<std::string> seen;
    for (const std::string& word : words) {
        const std::size_t equals = word.find('=');
        const standin::Parameter* parameter = nullptr;
        if (equals != std::string::npos && equals != 0) {
            const std::string name = Lower(word.substr(0, equals));
            for (const standin::Parameter& p : parameters)
                if (p.Optional() && Lower(p.name) == name) parameter = &p;
        }
        e.parameters.push_back(parameter);
        if (!parameter) return e.verdict = Verdict::Bad, e;
        for (const std::string& s : seen)
            if (s == parameter->name) return e.verdict = Verdict::Bad, e;
        seen.push_back(parameter->name);
        const std::string value = word.substr(equals + 1);
        if (parameter->repeat) return e.verdict = Verdict::Bad, e;
        switch (parameter->type) {
            case 'i':
                if (!ParseInteger(value)) return e.verdict = Verdict::Bad, e;
                break;
            case 'b':
                if (Lower(value) != "true" && Lower(value) != "false")
                    return e.verdict = Verdict::Bad, e;
                break;
            case 'c':
                if (value.empty() || value == "-") return e.verdict = Verdict::Bad, e;
                break;
            case 's': break;
            case 'f':
                // Which spellings of a number strtod takes is its business; checked below.
                e.verdict = Verdict::Unknown;
                break;
            default: return e.verdict = Verdict::Bad, e;
        }
    }
    return e;
}

void CheckBinding(const std::vector<std::string>& words, const Expectation& expected,
                  const std::vector<cli::NamedArgument>& bound) {
    FUZZ_REQUIRE(bound.size() == words.size(), "one argument per word");
    for (std::size_t i = 0; i < words.size(); ++i) {
        const standin::Parameter* p = expected.parameters[i];
        FUZZ_REQUIRE(p != nullptr, "bound a word that names no parameter: " + words[i]);
        const cli::NamedArgument& a = bound[i];
        FUZZ_REQUIRE(a.name == p->name, "name '" + a.name + "' for '" + words[i] + "'");
        FUZZ_REQUIRE(a.type == p->type, "type of " + a.name);
        const std::string value = words[i].substr(words[i].find('=') + 1);
        switch (a.type) {
            case 'i':
                FUZZ_REQUIRE(ParseInteger(value) == a.integer, "integer of " + words[i]);
                break;
            case 'b':
                FUZZ_REQUIRE(a.boolean == (Lower(value) == "true"), "boolean of " + words[i]);
                break;
            case 'c':
            case 's': FUZZ_REQUIRE(a.text == value, "text of " + words[i]); break;
            case 'f': {
                char* end = nullptr;
                errno = 0;
                const double parsed = std::strtod(value.c_str(), &end);
                FUZZ_REQUIRE(std::isfinite(a.floating) && parsed == a.floating &&
                                 end == value.c_str() + value.size(),
                             "number of " + words[i]);
                break;
            }
            default: FUZZ_REQUIRE(false, std::string("bound type ") + a.type);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            lines.emplace_back();
        else
            lines.back() += static_cast<char>(data[i]);
    }
    if (lines.back().empty()) lines.pop_back();  // a final newline ends the last word

    std::string params = kSignature;
    if (!lines.empty() && !lines.front().empty() && lines.front()[0] == '!') {
        params = lines.front().substr(1);
        lines.erase(lines.begin());
    }
    const std::vector<std::string>& words = lines;

    std::vector<standin::Parameter> parameters;
    bool validSignature = true;
    try {
        parameters = standin::ParseParameters(params);
    } catch (const standin::HostError&) {
        validSignature = false;
    }
    const Expectation expected = Expect(words, parameters);

    try {
        const std::vector<cli::NamedArgument> bound = cli::BindNamedArguments(words, params);
        FUZZ_REQUIRE(validSignature, "bound against a malformed parameter string");
        FUZZ_REQUIRE(expected.verdict != Verdict::Bad, "bound an ill-formed call");
        CheckBinding(words, expected, bound);
    } catch (const cli::UsageError& e) {
        FUZZ_REQUIRE(validSignature,
                     std::string("usage error for a malformed parameter string: ") + e.what());
        FUZZ_REQUIRE(expected.verdict != Verdict::Good,
                     std::string("refused a well-formed call: ") + e.what());
        FUZZ_REQUIRE(std::string(e.what()).size() > 0, "empty message");
    } catch (const standin::HostError& e) {
        FUZZ_REQUIRE(!validSignature, std::string("host error for a valid signature: ") + e.what());
    } catch (const std::exception& e) {
        fuzz::Fail(__FILE__, __LINE__, std::string("unexpected exception: ") + e.what());
    } catch (...) {
        fuzz::Fail(__FILE__, __LINE__, "unexpected non-standard exception");
    }
    return 0;
}
