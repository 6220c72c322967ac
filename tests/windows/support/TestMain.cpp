// The main of every Windows test program: GoogleTest's, and a run that ran
// no test fails. A --gtest_filter that matches nothing (a misspelt suite, a
// renamed case, a file whose suites are named otherwise) would pass as
// "0 tests" and hide that nothing was checked.

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result == 0 && !GTEST_FLAG_GET(list_tests) &&
        ::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "the filter \"%s\" matched no test: nothing was run\n",
                     GTEST_FLAG_GET(filter).c_str());
        return 1;
    }
    return result;
}
