add_test([=[FormatDuration.RendersDaysAndPaddedClock]=]  /work/main/build/native/unit_tests [==[--gtest_filter=FormatDuration.RendersDaysAndPaddedClock]==] --gtest_also_run_disabled_tests)
set_tests_properties([=[FormatDuration.RendersDaysAndPaddedClock]=]  PROPERTIES WORKING_DIRECTORY /work/main/build/native SKIP_REGULAR_EXPRESSION [==[\[  SKIPPED \]]==])
set(  unit_tests_TESTS FormatDuration.RendersDaysAndPaddedClock)
