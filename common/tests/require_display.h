// For GoogleTest tests that open windows: skipped without a display, failed when the test run
// promised one (scripts/test sets VELMORA_DISPLAY_REQUIRED=1).
#pragma once

#include <gtest/gtest.h>

#include "common/tests/test_support.h"

#define VELMORA_REQUIRE_DISPLAY()                                                   \
    do {                                                                            \
        if (!testsupport::HaveDisplay()) {                                          \
            if (testsupport::DisplayRequired())                                     \
                FAIL() << "no window can be made although a display was promised"; \
            GTEST_SKIP() << "no display";                                           \
        }                                                                           \
    } while (0)
