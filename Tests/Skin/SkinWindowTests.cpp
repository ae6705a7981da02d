#include "EngineText.h"
#include "ResPack.h"
#include "SkinEventRouter.h"
#include "SkinWindow.h"
#include "SkinWindowRegistry.h"

#include <gtest/gtest.h>

#include <memory>

// Natively no window is created (the platform has no windowing yet), but the
// skin's records, the registry and the router behave the same.
TEST(SkinWindow, LoadsTheShippedDocumentsAndForgetsThemWhenDestroyed)
{
    TheResPack().Load();
    xAppWindow app(nullptr);
    // What each document holds is SkinDocument's table; here the window takes it.
    struct Case
    {
        const char16_t* Name;
        const char* Button;
        SkinRect Rect;
    };
    const Case cases[] = {
        {u"SplashScreen", nullptr, {}},
        {u"MainFrame", "close", {1161, 166, 1216, 222}},
        // "game.max" and "game.restore" share a place; the first with the ID is found.
        {u"GameWindow", "game.restore", {62, 4, 87, 28}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(xString(xWString(c.Name)).c_str());
        auto window = std::make_unique<SkinWindow>(app, u"Default");
        window->Load(c.Name);
        xNativeWindow* native = window->NativeWindow();
        ASSERT_NE(native, nullptr);
        EXPECT_EQ(TheSkinWindowRegistry().Find(native), window.get());
        EXPECT_EQ(window->FindButton("no such button"), nullptr);
        if (c.Button != nullptr)
        {
            const SkinButton* button = window->FindButton(c.Button);
            ASSERT_NE(button, nullptr);
            EXPECT_EQ(button->Rect.Left, c.Rect.Left); // TopRight buttons move only once shown
            EXPECT_EQ(button->Rect.Bottom, c.Rect.Bottom);
        }
        window.reset();
        EXPECT_EQ(TheSkinWindowRegistry().Count(), 0u);
        EXPECT_EQ(app.NativeWindowCount(), 0u);
    }

    SkinWindow missing(app, u"Default");
    missing.Load(u"NoSuchSkin");
    EXPECT_EQ(missing.NativeWindow(), nullptr) << "a missing document makes no window";
    EXPECT_EQ(missing.HitTest(5, 5), WindowZone::Nowhere);
    EXPECT_EQ(TheSkinWindowRegistry().Count(), 0u);
}

TEST(SkinWindow, RouterReachesOnlyRegisteredWindows)
{
    TheResPack().Load();
    xAppWindow app(nullptr);
    SkinEventRouter router;
    SkinWindow frame(app, u"Default");
    frame.Load(u"MainFrame");
    xNativeWindow* native = frame.NativeWindow();
    ASSERT_NE(native, nullptr);

    // The "close" button at (1161, 166): the client zone, the caption elsewhere.
    EXPECT_EQ(router.HitTest(native, 1170, 180), WindowZone::Client);
    EXPECT_EQ(router.HitTest(native, 600, 100), WindowZone::Caption);
    xWindowSizeLimits limits;
    EXPECT_TRUE(router.GetSizeLimits(native, limits));
    EXPECT_EQ(limits.MinWidth, 800);
    EXPECT_EQ(limits.MinHeight, 600);

    // A window of no skin keeps the listener's neutral answers.
    xNativeWindow* stranger = app.CreateNativeWindow(native->Description());
    EXPECT_EQ(router.HitTest(stranger, 1170, 180), WindowZone::Client);
    EXPECT_FALSE(router.GetSizeLimits(stranger, limits));
    EXPECT_FALSE(router.OnMouseMove(stranger));
    EXPECT_TRUE(router.OnMouseMove(native));
    app.DestroyNativeWindow(stranger);
}
