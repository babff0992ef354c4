// The library under test and calls through its export ABI
// (tools/library_calls.h), with a missing export reported as a failure of
// the test that called it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tools/library_calls.h"

namespace cvx::test {

inline void fail_on_missing_export(const char* name, const std::string& why) {
    ADD_FAILURE() << "no export " << name << ": " << why;
}
inline const bool kMissingExportFailsTheTest = (on_missing_export = &fail_on_missing_export, true);

using cvx::call;
using cvx::Export;
using cvx::library;

// A script number from a plain value, as a script writes it.
constexpr Word num(long long whole_value) { return scaled(whole_value); }

}  // namespace cvx::test
