#!/usr/bin/env bash
# libFuzzer: the dump layout and the formatted entry against the layout
# model, and the message formatter (the portable code Windows runs too) against
# the C library, 15 seconds each (a minute with ./run test --full), all at once.
# tests/fuzz/run.sh --long runs an hour.
source "$(dirname "$0")/../lib/common.sh"
# The fuzzers' flags are their own: a compiler cache would only miss.
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
bash "$QW_TOP/tests/fuzz/run.sh"
