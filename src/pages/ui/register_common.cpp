#include "pages/ui/settings_pages.h"

namespace kd {

void TSettingsPages::RegisterCommon() {
    // The page registers its window factory with the main window here.
}

}  // namespace kd
