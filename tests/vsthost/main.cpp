#include <gtest/gtest.h>

#include "frame/module_state.h"

// No module object exists in these tests, so the lock it would create is made here.
int main(int argc, char** argv) {
    tavren::HostLock.Init();
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    tavren::HostLock.Delete();
    return result;
}
