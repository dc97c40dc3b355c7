#include "pages/ui/settings_pages.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>

#include "pages/ui/tp_camera.h"
#include "shell/ui/kest_trel.h"

namespace kd {

void TSettingsPages::RegisterCamera() {
    window_.WindowFactories["TPCamera"] = [this](TKestTrel& w) {
        Camera = new TPCamera(w.Context(), w.ClientArea);
        TPageHooks hooks;
        hooks.Window = Camera;
        hooks.ShowParams = [this] { Camera->ShowParams(); };
        w.RegisterPage(kPageCamera, hooks);
        w.ActionUpdaters.push_back([this] { Camera->UpdateActions(); });
        w.SettingsCollectors.push_back([this](TShellSettings& s) {
            s.CameraScaleX = Camera->ScaleX();
            s.CameraScaleY = Camera->ScaleY();
            s.CameraHighQuality = Camera->HighQualityCheck->isChecked();
        });
        ResetCameraImage = [this] { Camera->Clear(); };
        ReleaseCamRectButton = [this] { Camera->ReleaseCamRectButton(); };
        // The camera mask painter and the colour pair, for service work only.
        if (w.DebugMenu) {
            auto* tools = new QAction("Camera Mask Tools", w.DebugMenu);
            tools->setObjectName("CameraMaskTools1");
            tools->setCheckable(true);
            w.DebugMenu->addAction(tools);
            QObject::connect(tools, &QAction::toggled, Camera,
                             [this](bool on) { Camera->ShowServiceTools(on); });
        }
    };
}

}  // namespace kd
