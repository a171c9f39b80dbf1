#include <gtest/gtest.h>

#include <new>
#include <string>

#include "HsdFontProcess.h"
#include "Report.h"

extern "C" int CreateComponentInstance(CHsdFontProcess** out);
extern "C" int DeleteComponentInstance(CHsdFontProcess** component);

// When set, the next nothrow allocation in this test program fails, as it
// would when memory runs out.
static bool g_failNextNothrowNew = false;

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (g_failNextNothrowNew) {
        g_failNextNothrowNew = false;
        return nullptr;
    }
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

struct Box {
    int count = 0;
    std::string text;
    std::string caption;
    unsigned int style = 0;
};
Box g_box;

int CaptureBox(const char* text, const char* caption, unsigned int style) {
    ++g_box.count;
    g_box.text = text;
    g_box.caption = caption;
    g_box.style = style;
    return 1;
}

class FontComponentExports : public ::testing::Test {
protected:
    void SetUp() override {
        g_box = {};
        previous_ = SetReportFunction(CaptureBox);
    }
    void TearDown() override { SetReportFunction(previous_); }

private:
    ReportFunction previous_ = nullptr;
};

TEST_F(FontComponentExports, CreateGivesAComponentThatDeleteDestroys) {
    CHsdFontProcess* component = nullptr;
    ASSERT_EQ(CreateComponentInstance(&component), 1);
    ASSERT_NE(component, nullptr);

    CHsdFontProcess* const created = component;
    EXPECT_EQ(DeleteComponentInstance(&component), 1);
    EXPECT_EQ(component, created) << "the caller's pointer is not cleared";
    EXPECT_EQ(g_box.count, 0);
}

TEST_F(FontComponentExports, DeleteWithNullAddressDoesNothing) {
    EXPECT_EQ(DeleteComponentInstance(nullptr), 1);
}

TEST_F(FontComponentExports, CreateWithNullAddressAllocatesNothing) {
    EXPECT_EQ(CreateComponentInstance(nullptr), 0);
    EXPECT_EQ(g_box.count, 0);
}

TEST_F(FontComponentExports, OutOfMemoryShowsTheBoxAndLeavesThePointer) {
    CHsdFontProcess* component = reinterpret_cast<CHsdFontProcess*>(0x1234);
    g_failNextNothrowNew = true;
    EXPECT_EQ(CreateComponentInstance(&component), 0);
    EXPECT_EQ(component, reinterpret_cast<CHsdFontProcess*>(0x1234));
    EXPECT_EQ(g_box.count, 1);
    EXPECT_EQ(g_box.text, "Can not create instance.\nOut of Memrory!");
    EXPECT_EQ(g_box.caption, "ParserMsg");
    EXPECT_EQ(g_box.style, kReportIconError);
}

}  // namespace
