#include "pages/ui/settings_pages.h"

namespace kd {

TSettingsPages::TSettingsPages(TKestTrel& window, ProfileShared& shared)
    : window_(window), shared_(shared) {
    RegisterTrigger();
    RegisterCamera();
    RegisterProfile();
    RegisterArea();
    RegisterOperation();
    RegisterOutput();
    RegisterCommon();
}

}  // namespace kd
