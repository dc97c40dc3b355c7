// The output page's rows.
#include "pages/setting_rows.h"

namespace kd {

void AppendOutputRows(std::vector<TSetting>& t) {
    (void)t;  // the page's settings join the table here
}

}  // namespace kd
