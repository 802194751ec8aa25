// pplx work still queued when a test process exits is never freed, and the
// sanitizer build's leak check would report it: drain the pool at the end.

#include <gtest/gtest.h>

#include "HttpRest/HttpThreadPool.h"

namespace {

class DrainHttpWork : public ::testing::Environment {
public:
    void TearDown() override { tvo::DrainHttpThreadPool(); }
};

[[maybe_unused]] ::testing::Environment* const drain = ::testing::AddGlobalTestEnvironment(new DrainHttpWork);

}  // namespace
