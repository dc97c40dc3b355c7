// The operation page's rows.
#include "pages/setting_rows.h"

namespace kd {

void AppendOperationRows(std::vector<TSetting>& t) {
    (void)t;  // the page's settings join the table here
}

}  // namespace kd
