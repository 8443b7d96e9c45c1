// GoogleTest's main, keeping the arguments it leaves for TestArgument.
#include <gtest/gtest.h>

#include "tests/common/TestArguments.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    SetTestArguments(argc, argv);
    return RUN_ALL_TESTS();
}
