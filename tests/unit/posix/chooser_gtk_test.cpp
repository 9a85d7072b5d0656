// The real dsc_chooser, started by the library's launcher, on a virtual X
// display; xdotool plays the user.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chooser_expected.h"
#include "chooser_texts.h"
#include "dsc_chooser.h"
#include "run_command.h"
#include "scoped_env.h"
#include "xvfb_display.h"

namespace {

struct ChooserRun {
    int result = 0;
    int chosen = -7;
    std::string title;  // empty when the window never showed
};

class ChooserGtk : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (command_exists("Xvfb") && command_exists("xdotool")) display = std::make_unique<XvfbDisplay>();
    }
    static void TearDownTestSuite() { display.reset(); }

    void SetUp() override
    {
        if (!command_exists("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(command_exists("xdotool")) << "xdotool is needed to drive the chooser";
        ASSERT_TRUE(display != nullptr && display->running()) << "Xvfb did not start";
    }

    // Shows the chooser under `lang` and, once its window is up, reads its
    // title and types `keys` into it. Should the keys not end it, the
    // window's connection is killed so the test cannot hang.
    ChooserRun run(const char* lang, const std::vector<std::wstring>& rows, const std::vector<std::string>& keys)
    {
        ScopedEnv displayVariable("DISPLAY", display->name().c_str());
        ScopedEnv chooser("DSC_JNA_CHOOSER", DSC_CHOOSER_PROGRAM);
        ScopedEnv lcAll("LC_ALL", nullptr), lcMessages("LC_MESSAGES", nullptr), language("LANG", lang);
        std::vector<const WCHAR*> pointers;
        for (const auto& row : rows) pointers.push_back(row.c_str());
        std::atomic<bool> returned{false};
        ChooserRun outcome;
        std::thread user([&] {
            std::string window = waitForWindow(returned);
            if (!window.empty()) {
                command_run({"xdotool", "getwindowname", window}, &outcome.title);
                if (!outcome.title.empty() && outcome.title.back() == '\n') outcome.title.pop_back();
                command_run({"xdotool", "windowfocus", "--sync", window});
                std::vector<std::string> press = {"xdotool", "key", "--delay", "50"};
                press.insert(press.end(), keys.begin(), keys.end());
                command_run(press);
            }
            for (int i = 0; i < 100 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            while (!returned) {
                std::string stuck = findWindow();
                if (!stuck.empty()) command_run({"xdotool", "windowkill", stuck});
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        });
        outcome.result = dsc_chooser_show(pointers.data(), static_cast<int>(pointers.size()), &outcome.chosen);
        returned = true;
        user.join();
        return outcome;
    }

    static std::string findWindow()
    {
        std::string found;
        command_run({"xdotool", "search", "--onlyvisible", "--classname", "dsc_chooser"}, &found);
        std::istringstream lines(found);
        std::string first;
        std::getline(lines, first);
        return first;
    }

    static std::string waitForWindow(const std::atomic<bool>& returned)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!returned && std::chrono::steady_clock::now() < deadline) {
            std::string window = findWindow();
            if (!window.empty()) return window;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }

    static std::unique_ptr<XvfbDisplay> display;
};

std::unique_ptr<XvfbDisplay> ChooserGtk::display;

const std::vector<std::wstring> kRows = {
    L"7:SM2:Alice:Test CA",
    L"not a row",
    L"2:RSA:\x5F20\x4E09:CN=Root, O=Acme:Inc",
    L"5:SM2::Issuer only",
};

}  // namespace

TEST_F(ChooserGtk, EnterTakesTheFirstRowWhichIsSelectedWhenItOpens)
{
    ChooserRun outcome = run("en_US.UTF-8", kRows, {"Return"});
    EXPECT_EQ(outcome.title, chooser_expectedTexts(CHOOSER_LANG_ENGLISH).title);
    EXPECT_EQ(outcome.result, DSC_CHOOSER_ACCEPTED);
    EXPECT_EQ(outcome.chosen, 7);
}

TEST_F(ChooserGtk, EscapeCancels)
{
    ChooserRun outcome = run("zh_TW.UTF-8", kRows, {"Escape"});
    EXPECT_EQ(outcome.title, chooser_expectedTexts(CHOOSER_LANG_TRADITIONAL).title);
    EXPECT_EQ(outcome.result, DSC_CHOOSER_CANCELLED);
    EXPECT_EQ(outcome.chosen, -7);
}

TEST_F(ChooserGtk, ArrowKeysMoveTheSelectionPastSkippedRows)
{
    for (const char* lang : {"zh_CN.UTF-8", "zh_SG.UTF-8"}) {
        SCOPED_TRACE(lang);
        ChooserRun outcome = run(lang, kRows, {"Down", "Down", "Return"});
        EXPECT_EQ(outcome.title, chooser_expectedTexts(CHOOSER_LANG_SIMPLIFIED).title);
        EXPECT_EQ(outcome.result, DSC_CHOOSER_ACCEPTED);
        EXPECT_EQ(outcome.chosen, 5);
    }
}

TEST(ChooserGtkProgram, WithoutADisplayThereIsNoDialog)
{
    ScopedEnv noDisplay("DISPLAY", nullptr), noWayland("WAYLAND_DISPLAY", nullptr);
    ScopedEnv chooser("DSC_JNA_CHOOSER", DSC_CHOOSER_PROGRAM);
    const WCHAR* rows[] = {L"0:SM2:a:b", L"1:SM2:c:d"};
    int chosen = -7;
    EXPECT_EQ(dsc_chooser_show(rows, 2, &chosen), DSC_CHOOSER_UNAVAILABLE);
    EXPECT_EQ(chosen, -7);
}
