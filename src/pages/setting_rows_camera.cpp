// The camera page's rows.
#include "pages/setting_rows.h"

namespace kd {

void AppendCameraRows(std::vector<TSetting>& t) {
    (void)t;  // the page's settings join the table here
}

}  // namespace kd
