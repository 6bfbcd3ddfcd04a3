#include "system/KeyCodes.h"
#include "system/LinuxKeySender.h"

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace velloq;

namespace {

struct KeyEvent {
    uint16_t code;
    bool down;
    uint64_t heldMask; // the modifier mask held once this event has happened
    bool operator==(const KeyEvent&) const = default;
};

std::ostream& operator<<(std::ostream& os, const KeyEvent& e) {
    return os << "{" << e.code << (e.down ? " down" : " up") << " 0x" << std::hex << e.heldMask
              << std::dec << "}";
}

uint64_t flagOf(uint16_t code) {
    switch (code) {
    case KEY_LEFTMETA:
        return KeySender::commandFlag;
    case KEY_LEFTSHIFT:
        return KeySender::shiftFlag;
    case KEY_LEFTALT:
        return KeySender::optionFlag;
    case KEY_LEFTCTRL:
        return KeySender::controlFlag;
    default:
        return 0;
    }
}

// A uinput backend writing into a pipe; reads back the evdev stream.
class UinputStream {
public:
    UinputStream() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        readEnd_.reset(fds[0]);
        sender_ = std::make_unique<LinuxKeySender>(
            std::make_unique<UinputInjector>(UniqueFd(fds[1]), true));
    }

    LinuxKeySender& sender() { return *sender_; }

    // Key events, each checked to be followed by its SYN_REPORT.
    std::vector<KeyEvent> take() {
        std::vector<input_event> raw;
        input_event ev{};
        while (::read(readEnd_.get(), &ev, sizeof ev) == ssize_t(sizeof ev))
            raw.push_back(ev);
        std::vector<KeyEvent> out;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i].type != EV_KEY)
                continue;
            EXPECT_TRUE(i + 1 < raw.size() && raw[i + 1].type == EV_SYN &&
                        raw[i + 1].code == SYN_REPORT)
                << "key event without its report";
            if (raw[i].value)
                held_ |= flagOf(raw[i].code);
            else
                held_ &= ~flagOf(raw[i].code);
            out.push_back({raw[i].code, raw[i].value != 0, held_});
        }
        return out;
    }

private:
    UniqueFd readEnd_;
    std::unique_ptr<LinuxKeySender> sender_;
    uint64_t held_ = 0;
};

} // namespace

TEST(KeySenderUinput, CombinationsFollowTheModifierOrder) {
    UinputStream stream;
    ASSERT_TRUE(stream.sender().canInject());

    stream.sender().press(8, 0x100000); // Command+C
    EXPECT_EQ(stream.take(), (std::vector<KeyEvent>{{KEY_LEFTMETA, true, 0x100000},
                                                    {KEY_C, true, 0x100000},
                                                    {KEY_C, false, 0x100000},
                                                    {KEY_LEFTMETA, false, 0}}));

    stream.sender().press(103, 0); // F11 alone
    EXPECT_EQ(stream.take(), (std::vector<KeyEvent>{{KEY_F11, true, 0}, {KEY_F11, false, 0}}));

    stream.sender().press(9, 0x1A0000); // Option+Shift+Command+V
    EXPECT_EQ(stream.take(), (std::vector<KeyEvent>{{KEY_LEFTMETA, true, 0x100000},
                                                    {KEY_LEFTSHIFT, true, 0x120000},
                                                    {KEY_LEFTALT, true, 0x1A0000},
                                                    {KEY_V, true, 0x1A0000},
                                                    {KEY_V, false, 0x1A0000},
                                                    {KEY_LEFTALT, false, 0x120000},
                                                    {KEY_LEFTSHIFT, false, 0x100000},
                                                    {KEY_LEFTMETA, false, 0}}));

    // Control+Command+Q (lock screen there): Control goes down last and up first.
    stream.sender().press(12, 0x140000);
    EXPECT_EQ(stream.take(), (std::vector<KeyEvent>{{KEY_LEFTMETA, true, 0x100000},
                                                    {KEY_LEFTCTRL, true, 0x140000},
                                                    {KEY_Q, true, 0x140000},
                                                    {KEY_Q, false, 0x140000},
                                                    {KEY_LEFTCTRL, false, 0x100000},
                                                    {KEY_LEFTMETA, false, 0}}));

    // Bits that are no modifier produce no events; an unknown key sends nothing at all.
    stream.sender().press(0, 0x100 | 0x800000);
    EXPECT_EQ(stream.take(), (std::vector<KeyEvent>{{KEY_A, true, 0}, {KEY_A, false, 0}}));
    stream.sender().press(200, 0x100000);
    EXPECT_TRUE(stream.take().empty());
}

TEST(KeySenderUinput, MediaKeysAndFineSteps) {
    UinputStream stream;
    stream.sender().postMediaKey(16, 0);
    EXPECT_EQ(stream.take(),
              (std::vector<KeyEvent>{{KEY_PLAYPAUSE, true, 0}, {KEY_PLAYPAUSE, false, 0}}));

    const std::vector<std::pair<int, uint16_t>> types{
        {0, KEY_VOLUMEUP}, {1, KEY_VOLUMEDOWN}, {2, KEY_BRIGHTNESSUP}, {3, KEY_BRIGHTNESSDOWN},
        {7, KEY_MUTE},     {19, KEY_NEXTSONG},  {20, KEY_PREVIOUSSONG}};
    for (const auto& [type, code] : types) {
        stream.sender().postMediaKey(type, 0);
        EXPECT_EQ(stream.take(), (std::vector<KeyEvent>{{code, true, 0}, {code, false, 0}}))
            << "type " << type;
    }

    stream.sender().postMediaKey(KeySender::soundUp, KeySender::fineStepFlags);
    EXPECT_EQ(stream.take(), (std::vector<KeyEvent>{{KEY_LEFTSHIFT, true, 0x20000},
                                                    {KEY_LEFTALT, true, 0xA0000},
                                                    {KEY_VOLUMEUP, true, 0xA0000},
                                                    {KEY_VOLUMEUP, false, 0xA0000},
                                                    {KEY_LEFTALT, false, 0x20000},
                                                    {KEY_LEFTSHIFT, false, 0}}));

    stream.sender().postMediaKey(5, 0);
    EXPECT_TRUE(stream.take().empty());
}

TEST(KeySender, WithoutBackendNothingIsSentAndTheFactoryIsRetried) {
    int attempts = 0;
    bool allow = false;
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    LinuxKeySender sender([&]() -> std::unique_ptr<KeyInjector> {
        ++attempts;
        if (!allow)
            return nullptr;
        return std::make_unique<UinputInjector>(std::move(writeEnd), false);
    });
    EXPECT_FALSE(sender.canInject());
    sender.press(8, 0x100000);
    EXPECT_GE(attempts, 2);
    allow = true; // the udev rule was installed meanwhile
    EXPECT_TRUE(sender.canInject());
    sender.press(8, 0);
    input_event ev{};
    EXPECT_EQ(::read(readEnd.get(), &ev, sizeof ev), ssize_t(sizeof ev));
    EXPECT_EQ(ev.code, KEY_C);
    const int settled = attempts;
    sender.press(8, 0);
    EXPECT_EQ(attempts, settled); // kept once made
}

TEST(KeyCodes, EveryStorableKeyHasItsOwnEvdevCode) {
    // Letters, digits and punctuation of the US layout, in stored codes.
    const std::vector<std::pair<uint16_t, uint16_t>> samples{{0, KEY_A},
                                                             {11, KEY_B},
                                                             {8, KEY_C},
                                                             {2, KEY_D},
                                                             {14, KEY_E},
                                                             {3, KEY_F},
                                                             {5, KEY_G},
                                                             {4, KEY_H},
                                                             {34, KEY_I},
                                                             {38, KEY_J},
                                                             {40, KEY_K},
                                                             {37, KEY_L},
                                                             {46, KEY_M},
                                                             {45, KEY_N},
                                                             {31, KEY_O},
                                                             {35, KEY_P},
                                                             {12, KEY_Q},
                                                             {15, KEY_R},
                                                             {1, KEY_S},
                                                             {17, KEY_T},
                                                             {32, KEY_U},
                                                             {9, KEY_V},
                                                             {13, KEY_W},
                                                             {7, KEY_X},
                                                             {16, KEY_Y},
                                                             {6, KEY_Z},
                                                             {29, KEY_0},
                                                             {18, KEY_1},
                                                             {19, KEY_2},
                                                             {20, KEY_3},
                                                             {21, KEY_4},
                                                             {23, KEY_5},
                                                             {22, KEY_6},
                                                             {26, KEY_7},
                                                             {28, KEY_8},
                                                             {25, KEY_9},
                                                             {27, KEY_MINUS},
                                                             {24, KEY_EQUAL},
                                                             {33, KEY_LEFTBRACE},
                                                             {30, KEY_RIGHTBRACE},
                                                             {42, KEY_BACKSLASH},
                                                             {41, KEY_SEMICOLON},
                                                             {39, KEY_APOSTROPHE},
                                                             {43, KEY_COMMA},
                                                             {47, KEY_DOT},
                                                             {44, KEY_SLASH},
                                                             {50, KEY_GRAVE},
                                                             // the recorder's named keys
                                                             {36, KEY_ENTER},
                                                             {48, KEY_TAB},
                                                             {49, KEY_SPACE},
                                                             {51, KEY_BACKSPACE},
                                                             {53, KEY_ESC},
                                                             {117, KEY_DELETE},
                                                             {123, KEY_LEFT},
                                                             {124, KEY_RIGHT},
                                                             {125, KEY_DOWN},
                                                             {126, KEY_UP},
                                                             {115, KEY_HOME},
                                                             {119, KEY_END},
                                                             {116, KEY_PAGEUP},
                                                             {121, KEY_PAGEDOWN},
                                                             {122, KEY_F1},
                                                             {120, KEY_F2},
                                                             {99, KEY_F3},
                                                             {118, KEY_F4},
                                                             {96, KEY_F5},
                                                             {97, KEY_F6},
                                                             {98, KEY_F7},
                                                             {100, KEY_F8},
                                                             {101, KEY_F9},
                                                             {109, KEY_F10},
                                                             {103, KEY_F11},
                                                             {111, KEY_F12},
                                                             // modifiers
                                                             {55, KEY_LEFTMETA},
                                                             {56, KEY_LEFTSHIFT},
                                                             {58, KEY_LEFTALT},
                                                             {59, KEY_LEFTCTRL}};
    for (const auto& [stored, evdev] : samples) {
        EXPECT_EQ(KeyCodes::toEvdev(stored), std::optional<uint16_t>(evdev)) << stored;
        EXPECT_EQ(KeyCodes::fromEvdev(evdev), std::optional<uint16_t>(stored)) << evdev;
    }
    std::set<uint16_t> seen;
    for (int code = 0; code < 0x10000; ++code) {
        const auto evdev = KeyCodes::toEvdev(uint16_t(code));
        if (!evdev)
            continue;
        EXPECT_LT(code, 128);
        EXPECT_TRUE(seen.insert(*evdev).second || *evdev == KEY_KPENTER) << code;
    }
    EXPECT_FALSE(KeyCodes::toEvdev(102));
    EXPECT_FALSE(KeyCodes::fromEvdev(KEY_PLAYPAUSE));
}
