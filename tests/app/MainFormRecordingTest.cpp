// The main window's recordings against a simulated door phone: a recording is
// written whatever stops the video (the pop-down at the end of a call, the user
// minimising, the close), and the close waits for recorders still writing.
#include "MainFormSupport.h"
#include "app/EventLog.h"
#include "app/MainForm.h"
#include "app/SettingsStore.h"
#include "doorphone-sim/Simulator.h"
#include "doorphone/GuardPanel.h"
#include "support/TestEnv.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <unistd.h>

using mainformtest::logged;
using mainformtest::logTexts;

namespace {

size_t indexOf(const std::vector<std::string>& lines, const std::string& prefix) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0) return i;
    return lines.size();
}

uint32_t u32(const std::string& f, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(f[at + static_cast<size_t>(i)]);
    return v;
}

std::string run(const std::string& cmd) {
    std::string out;
    if (FILE* f = ::popen(cmd.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        ::pclose(f);
    }
    return out;
}

enum class End { HangUp, Minimise, Close, HangUpThenClose };

struct Case {
    const char* what;
    bool popUpCall;
    End end;
};

} // namespace

namespace {

// One desk call recorded on door phone 1, ended as the case says; checks the AVI.
void recordACall(const Case& c) {
    doorphonesim::Config sc;
    sc.name = "Front Door";
    sc.fps = 20;
    doorphonesim::Simulator sim(sc);
    ASSERT_TRUE(sim.start());
    const std::string folder = testenv::makeTempDir("avi");
    TSettingsStore store(testenv::makeTempDir());
    store.SetText("DoorPhoneIP1Text", "127.0.0.1");
    store.SetText("DoorPhoneVideoPort1Text", std::to_string(sim.port()));
    store.SetText("AVIDirectory", folder);
    store.SetChecked("SaveToAVI", true);
    store.SetChecked("PopUpCall", c.popUpCall);

    auto form = std::make_unique<TForm2>();
    form->SettingsForm = &store;
    form->show();
    form->InitializeTimerTimer(); // the settings reach the panels, which start
    TGuardPanel* p = form->GuardPanel1;
    ASSERT_TRUE(testenv::waitUntil(
        [&] { return (p->GlobalDeviceState & 0xE) == 0xE && p->GuardNameLabel->text() == " Front Door "; },
        8000));

    sim.deskCall();
    ASSERT_TRUE(testenv::waitUntil([&] { return logged("YOX1: AVI: record started").has_value(); }, 4000));
    // A few pictures while recording.
    int pictures = 0;
    std::vector<uint8_t> last = p->LastPictureBytes();
    ASSERT_TRUE(testenv::waitUntil(
        [&] {
            auto now = p->LastPictureBytes();
            if (now != last) ++pictures, last = std::move(now);
            return pictures >= 4;
        },
        8000));

    bool closed = false;
    switch (c.end) {
    case End::HangUp:
        sim.hangUp();
        break;
    case End::Minimise:
        form->MinimizeImageClick();
        break;
    case End::Close:
        form->close();
        closed = true;
        break;
    case End::HangUpThenClose:
        sim.hangUp();
        ASSERT_TRUE(testenv::waitUntil([&] { return logged("AVICollection available").has_value(); }, 4000));
        form->close(); // at once: the recorder has only just started
        closed = true;
        break;
    }
    if (!closed) {
        ASSERT_TRUE(testenv::waitUntil([&] { return logged("Save AVI to ").has_value(); }, 15000));
    }
    // After a close nothing more runs: the file is done when the close returns.
    const auto frames = logged("YOX1: AVI: record stopped with ");
    const auto file = logged("Save AVI to ");
    ASSERT_TRUE(frames && file) << "no recording handed over or saved";
    const std::string n = frames->substr(0, frames->find(' '));
    EXPECT_GE(std::stoi(n), 1);
    const std::string bytes = testenv::readFile(*file);
    ASSERT_GT(bytes.size(), 12u);
    EXPECT_EQ(u32(bytes, 4), bytes.size() - 8) << "the RIFF size is written";
    EXPECT_EQ(run("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
                  "-of csv=p=0 '" +
                  *file + "'"),
              n + "\n");
    if (closed) {
        const auto lines = logTexts();
        EXPECT_LT(indexOf(lines, "Save AVI to "), indexOf(lines, "*************  STOP"));
        EXPECT_EQ(indexOf(lines, "AVI: recording not finished"), lines.size());
    }
    form->SettingsForm = nullptr;
}

} // namespace

TEST(MainFormRecording, ARecordingIsWrittenWhateverStopsTheVideo) {
    ASSERT_EQ(::chdir(testenv::assetsDir().c_str()), 0); // pictures load by bare name
    const Case cases[] = {
        {"pop-up on: the end of the call minimises before the recording stops", true, End::HangUp},
        {"the user minimises during the call", false, End::Minimise},
        {"the program is closed during the call", false, End::Close},
        {"the program is closed right after the call", false, End::HangUpThenClose},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        recordACall(c);
        if (HasFailure())
            for (const auto& l : logTexts())
                std::cerr << "  log: " << l << "\n";
        testenv::spin(50);
        ::unlink((DataFolder() + LogFileName).c_str()); // each case reads its own log
    }
}
