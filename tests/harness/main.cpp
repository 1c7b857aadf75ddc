#include <gtest/gtest.h>

#include "harness/network.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    harness::enter_private_network();
    return RUN_ALL_TESTS();
}
