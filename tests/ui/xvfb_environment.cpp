// Every window of this suite lives on a private X server that the suite
// starts itself, never on the developer's display.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/xvfb.h"

namespace {

class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        m_session = std::make_unique<korvel_test::XvfbSession>();
        ASSERT_TRUE(m_session->Started()) << "Xvfb did not start";
    }
    void TearDown() override { m_session.reset(); }

private:
    std::unique_ptr<korvel_test::XvfbSession> m_session;
};

const ::testing::Environment* const g_xvfb =
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

}  // namespace
