// What holds for the whole library: its C interface compiles as C, and an
// exhausted pool leaves every caller a safe value to read.
#include <cstring>

#include "iec_fixture.hpp"

extern "C" int iec_c_interface_failures(void);

namespace iec::testing {
namespace {

TEST_F(IecTest, CInterface) { EXPECT_EQ(iec_c_interface_failures(), 0); }

class ExhaustedPool : public IecTest {
protected:
    void SetUp() override {
        IecTest::SetUp();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(alloc_char(VX_TEMP_POOL_SIZE), nullptr);
    }
    std::string messages() { return ::testing::internal::GetCapturedStderr(); }
};

TEST_F(ExhaustedPool, StringResultsAreTheEmptyString) {
    CharCell* s = byte_to_string_OUT(10);
    EXPECT_EQ(capacity(s), 0);
    EXPECT_EQ(text(s), "");
    EXPECT_EQ(LIBFB_ERR, 0);
    // A caller that writes into it anyway does not change the next one.
    vx::set_start_value(s[1], std::uint8_t{200});
    EXPECT_EQ(capacity(real_to_string_OUT(1.0f)), 0);
    EXPECT_EQ(messages(),
              "unable to allocate a temporary array of char\n"
              "unable to allocate a temporary array of char\n"
              "unable to allocate a temporary array of char\n");
}

TEST_F(ExhaustedPool, TimeResultsAreTimeZeroAndTheBlockStillRuns) {
    Ints pt(0, 1000), cv(0, 0);
    std::int32_t mark = 0;
    next_cycle();
    IntCell* t = ton_CV(1, pt, cv.get(), &mark);
    EXPECT_EQ(elements(t), std::make_pair(0, 0));
    EXPECT_EQ(cv.value(), std::make_pair(0, 500));  // the instance advanced
    vx::set_cur(t[2], 99);
    next_cycle();
    EXPECT_EQ(elements(ton_CV(1, pt, cv.get(), &mark)), std::make_pair(0, 0));
    EXPECT_EQ(messages(),
              "unable to allocate a temporary array of char\n"
              "unable to allocate a temporary array of int\n"
              "unable to allocate a temporary array of int\n");
}

}  // namespace
}  // namespace iec::testing
