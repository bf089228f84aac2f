#pragma once

#include <avisynth.h>

#include <string>

// The host error's text, or a marker when f did not throw one.
template <class F>
std::string ErrorFrom(F&& f) {
    try {
        f();
    } catch (const AvisynthError& e) {
        return e.msg;
    }
    return "(no error)";
}
