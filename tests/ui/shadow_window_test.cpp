// The shadow window following its parent: placement, hiding, rebuild rules,
// and the hook's life with the parent.
#include <gtest/gtest.h>

#include <memory>

#include "tests/ui/ui_test_support.h"
#include "ui/wnd_shadow.h"

namespace {

class ShadowWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitShadow(GetModuleHandleW(nullptr));  // false after the first test: already done
        m_parent =
            ui_test::CreateTestPopup(L"KorvelShadowParent", DefWindowProcW, 100, 100, 600, 400);
        ASSERT_NE(nullptr, m_parent);
        ShowWindow(m_parent, SW_SHOW);
    }
    void TearDown() override {
        m_shadow.reset();
        if (IsWindow(m_parent)) {
            DestroyWindow(m_parent);
        }
    }

    // A shadow that sees a compositing desktop (or not).
    CWndShadow& Attach(bool composited = true) {
        m_shadow = std::make_unique<CWndShadow>([composited] { return composited; });
        m_shadow->Create(m_parent);
        return *m_shadow;
    }
    RECT ShadowRect() const {
        RECT r{0, 0, 0, 0};
        GetWindowRect(m_shadow->GetShadowWnd(), &r);
        return r;
    }
    void Paint() {
        InvalidateRect(m_parent, nullptr, FALSE);
        UpdateWindow(m_parent);
    }

    HWND m_parent = nullptr;
    std::unique_ptr<CWndShadow> m_shadow;
};

TEST_F(ShadowWindowTest, SurroundsTheParentByThirtyPixels) {
    CWndShadow& shadow = Attach();
    ASSERT_NE(nullptr, shadow.GetShadowWnd());
    RECT r = ShadowRect();
    EXPECT_EQ(70, r.left);
    EXPECT_EQ(70, r.top);
    EXPECT_EQ(660, r.right - r.left);
    EXPECT_EQ(460, r.bottom - r.top);
    EXPECT_TRUE(IsWindowVisible(shadow.GetShadowWnd()));
    EXPECT_EQ(CWndShadow::kEnabled | CWndShadow::kShadowVisible | CWndShadow::kParentVisible,
              shadow.GetStatus());

    SetWindowPos(m_parent, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    r = ShadowRect();
    EXPECT_EQ(270, r.left);
    EXPECT_EQ(170, r.top);
}

TEST_F(ShadowWindowTest, HidesWhileMaximisedAndReturnsOnRestore) {
    CWndShadow& shadow = Attach();
    ShowWindow(m_parent, SW_MAXIMIZE);
    EXPECT_FALSE(IsWindowVisible(shadow.GetShadowWnd()));
    EXPECT_FALSE(shadow.GetStatus() & CWndShadow::kShadowVisible);
    ShowWindow(m_parent, SW_RESTORE);
    EXPECT_TRUE(IsWindowVisible(shadow.GetShadowWnd()));
    EXPECT_TRUE(shadow.GetStatus() & CWndShadow::kShadowVisible);
}

TEST_F(ShadowWindowTest, GrowingWaitsForThePaintShrinkingDoesNot) {
    CWndShadow& shadow = Attach();
    Paint();
    ASSERT_FALSE(shadow.IsUpdatePending());

    SetWindowPos(m_parent, nullptr, 0, 0, 700, 450, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(shadow.IsUpdatePending());
    RECT r = ShadowRect();
    EXPECT_EQ(660, r.right - r.left);  // not rebuilt yet
    Paint();
    EXPECT_FALSE(shadow.IsUpdatePending());
    r = ShadowRect();
    EXPECT_EQ(760, r.right - r.left);
    EXPECT_EQ(510, r.bottom - r.top);

    SetWindowPos(m_parent, nullptr, 0, 0, 500, 300, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_FALSE(shadow.IsUpdatePending());
    r = ShadowRect();
    EXPECT_EQ(560, r.right - r.left);
    EXPECT_EQ(360, r.bottom - r.top);
}

TEST_F(ShadowWindowTest, FollowsShowingAndHiding) {
    CWndShadow& shadow = Attach();
    ShowWindow(m_parent, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(shadow.GetShadowWnd()));
    EXPECT_FALSE(shadow.GetStatus() & CWndShadow::kParentVisible);
    ShowWindow(m_parent, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(shadow.GetShadowWnd()));
}

TEST_F(ShadowWindowTest, OffWithoutCompositionAndBackWhenItStarts) {
    bool composited = false;
    m_shadow = std::make_unique<CWndShadow>([&composited] { return composited; });
    m_shadow->Create(m_parent);
    EXPECT_FALSE(IsWindowVisible(m_shadow->GetShadowWnd()));
    EXPECT_TRUE(m_shadow->GetStatus() & CWndShadow::kDisabledByComposition);
    ShowWindow(m_parent, SW_MAXIMIZE);  // ignored while off
    ShowWindow(m_parent, SW_RESTORE);
    EXPECT_FALSE(IsWindowVisible(m_shadow->GetShadowWnd()));

    composited = true;
    SendMessageW(m_parent, WM_DWMCOMPOSITIONCHANGED, 0, 0);
    EXPECT_TRUE(IsWindowVisible(m_shadow->GetShadowWnd()));
    composited = false;
    SendMessageW(m_parent, WM_DWMCOMPOSITIONCHANGED, 0, 0);
    EXPECT_FALSE(IsWindowVisible(m_shadow->GetShadowWnd()));
}

TEST_F(ShadowWindowTest, SecondCreateDoesNothing) {
    CWndShadow& shadow = Attach();
    HWND first = shadow.GetShadowWnd();
    shadow.Create(m_parent);
    EXPECT_EQ(first, shadow.GetShadowWnd());
    // Hooked twice, the hook would call itself for ever.
    SetWindowPos(m_parent, nullptr, 110, 110, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(80, ShadowRect().left);
}

TEST_F(ShadowWindowTest, GoesWithTheParent) {
    CWndShadow& shadow = Attach();
    HWND window = shadow.GetShadowWnd();
    DestroyWindow(m_parent);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ShadowWindowTest, ShadowDestroyedFirstUnhooksTheParent) {
    const LONG_PTR own = GetWindowLongPtrW(m_parent, GWLP_WNDPROC);
    Attach();
    EXPECT_NE(own, GetWindowLongPtrW(m_parent, GWLP_WNDPROC));
    m_shadow.reset();
    EXPECT_EQ(own, GetWindowLongPtrW(m_parent, GWLP_WNDPROC));
    SetWindowPos(m_parent, nullptr, 0, 0, 300, 300, SWP_NOZORDER);  // no dangling shadow
    EXPECT_TRUE(IsWindow(m_parent));
}

}  // namespace
