// The common setup page's bank operations and its on-timing rule on the
// simulated sensor, through the session's own workflows: the backup file is
// written before the sensor's settings are overwritten, and the frames the
// sensor received say what was done.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "pages/common_logic.h"
#include "pages/settings_table.h"
#include "params/param_key.h"
#include "tests/shell/session/session_fixture.h"

using namespace kd;

namespace {

// A page context over a session rig's image and worker, with Sync on.
struct TRigPages {
    explicit TRigPages(sessiontest::SessionRig& rig)
        : worker(*rig.thread), context{rig.image, rig.masters, worker,   rig.state, rig.live,
                                       display,   colors,      settings, lists,     services} {
        ops.Confirm = [](const std::string&) { return true; };
        ops.Backup = [&rig](const std::string& r) { return rig.session->BackupSettings(r); };
        ops.ReloadCurrentBank = [&rig] { rig.session->ReloadCurrentBank(); };
        ops.Disconnect = [&rig] { rig.session->Disconnect(); };
        ops.Sleep = [](unsigned) {};
    }
    struct TSyncOn : TPageServices {
        bool Sync() const override { return true; }
    };
    TThreadWorker worker;
    TDisplaySettings display;
    TDisplayColors colors;
    TShellSettings settings;
    TModeLists lists;
    TSyncOn services;
    TPageContext context;
    TBankOps ops;
};

bool Has(const std::vector<std::string>& r, const std::string& what) {
    return std::find(r.begin(), r.end(), what) != r.end();
}

}  // namespace

TEST(BankOpsOnSim, ClearAndFactoryPresetBackUpFirst) {
    sessiontest::SessionRig rig;
    rig.Connect();
    TRigPages p(rig);
    rig.NewRequests();

    ASSERT_TRUE(BankClearExecute(p.context, p.ops));
    ASSERT_EQ(rig.session->Backups.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_regular_file(rig.session->Backups[0]));
    std::vector<std::string> r = rig.NewRequests();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.front(), "EEPROM_INIT 1");
    // The bank is read back from the sensor.
    EXPECT_TRUE(std::any_of(r.begin() + 1, r.end(),
                            [](const std::string& q) { return q.rfind("MEM_READ", 0) == 0; }));

    ASSERT_TRUE(FactInitExecute(p.context, p.ops));
    ASSERT_EQ(rig.session->Backups.size(), 2u);
    EXPECT_TRUE(std::filesystem::is_regular_file(rig.session->Backups[1]));
    r = rig.NewRequests();
    ASSERT_FALSE(r.empty());
    EXPECT_EQ(r.front(), "EEPROM_INIT 0");
    EXPECT_EQ(rig.state.LinkState, 0);  // disconnected
}

TEST(BankOpsOnSim, OnTimingReachesOnlySensorsThatKnowIt) {
    for (const auto& [bios, sent] : {std::pair{0x45, false}, {0x46, true}}) {
        SCOPED_TRACE(bios);
        sessiontest::SessionRig rig(
            sessiontest::SimVersion(0x53, static_cast<uint16_t>(bios), 0x50));
        rig.Connect();
        TRigPages p(rig);
        rig.NewRequests();
        const TSettingOutcome o = ChooseSetting(*FindSettingByKey("GpioOnT"), p.context, 1);
        EXPECT_EQ(o.Result, TSettingOutcome::Stored);
        EXPECT_EQ(rig.image.GetSys(pk::GpioOnT), 1);
        EXPECT_EQ(Has(rig.NewRequests(), "SET_GPIO_ONT 1"), sent);
    }
}
