#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "HotkeyServiceFixture.h"
#include "MainContext.h"
#include "platform/Services.h"
#include "platform/linux/x11/X11HotkeyService.h"
#include "system/Hotkey.h"

namespace vx {
namespace {

using fixtures::runUntil;
using platform::linux_::X11HotkeyService;

constexpr uint16_t kAltSuper = XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

void xdotool(const std::string& arguments) {
    ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
}

// Another X client, as another application holding shortcuts would be.
class OtherClient {
  public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr), &xcb_disconnect) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_.get())).data->root;
        std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
            xcb_key_symbols_alloc(connection_.get()), &xcb_key_symbols_free);
        std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
            xcb_key_symbols_get_keycode(symbols.get(), XK_5), &std::free);
        five_ = codes.get()[0];
    }
    // True when the server granted the grab of alt+super+5 with these lock keys.
    bool grab(uint16_t locks) {
        xcb_void_cookie_t cookie =
            xcb_grab_key_checked(connection_.get(), 0, root_, kAltSuper | locks, five_,
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
            xcb_request_check(connection_.get(), cookie), &std::free);
        return error == nullptr;
    }

  private:
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection_;
    xcb_window_t root_ = 0;
    xcb_keycode_t five_ = 0;
};

constexpr std::array<uint16_t, 4> kLockVariants{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                                XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

using X11HotkeyTest = fixtures::HotkeyServiceFixture<X11HotkeyService>;

TEST_F(X11HotkeyTest, EachPressOfAltSuper5RunsTheActionOnceOnTheMainThreadWhateverTheLocks) {
    int first = 0;
    int second = 0;
    ASSERT_TRUE(Hotkey::registerHotkey(counting(first)));
    // Presses the combination does not match reach the focused window, not us.
    xdotool("key alt+5 super+5 5 alt+super+6");
    xdotool("key alt+super+5");
    ASSERT_TRUE(runUntil([&] { return first > 0; }));

    EXPECT_TRUE(Hotkey::registerHotkey(counting(second)));
    // Num Lock on, Caps Lock on too, then Num Lock off again.
    for (const std::string lock : {"", "Num_Lock ", "Caps_Lock ", "Num_Lock "}) {
        xdotool("key " + lock + "alt+super+5");
        ASSERT_TRUE(runUntil([&, before = second] { return second > before; })) << lock;
    }
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 4);
}

TEST_F(X11HotkeyTest, ACombinationHeldByAnotherClientIsRefusedAndNothingOfItIsKept) {
    OtherClient other;
    // Held with Num Lock only: the plain variant could be had, and must be let go.
    ASSERT_TRUE(other.grab(XCB_MOD_MASK_2));
    int runs = 0;
    EXPECT_FALSE(Hotkey::registerHotkey(counting(runs)));
    EXPECT_FALSE(Hotkey::isRegistered());
    EXPECT_TRUE(other.grab(0)) << "a refused registration keeps none of its variants";
}

TEST_F(X11HotkeyTest, UnregisterLetsOthersTakeTheCombinationAndRegisterTakesItBack) {
    int runs = 0;
    {
        OtherClient other;
        ASSERT_TRUE(Hotkey::registerHotkey(counting(runs)));
        for (uint16_t locks : kLockVariants) {
            EXPECT_FALSE(other.grab(locks)) << locks;
        }
        Hotkey::unregister();
        for (uint16_t locks : kLockVariants) {
            EXPECT_TRUE(other.grab(locks)) << locks;
        }
        EXPECT_FALSE(Hotkey::registerHotkey(counting(runs)));
    }  // the other client ends, and its grabs with it
    ASSERT_TRUE(Hotkey::registerHotkey(counting(runs)));
    xdotool("key alt+super+5");
    EXPECT_TRUE(runUntil([&] { return runs == 1; }));
}

}  // namespace
}  // namespace vx
