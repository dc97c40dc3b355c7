#pragma once
// Building the settings table: the row makers every page's rows use, and one
// function per page that appends its rows (each in setting_rows_<page>.cpp).
#include <vector>

#include "link/commands.h"
#include "pages/settings_table.h"

namespace kd::rows {

using A = TSettingArg;
using P = TSettingPayload;
using K = TSettingKind;
using B = TKeyBlock;

inline TSetting List(const char* page, const char* control, const char* key, int keyId, B block,
                     int items, uint16_t command, const char* log) {
    TSetting s{page, control, key, keyId, block, K::List};
    s.Items = items;
    s.Command = command;
    s.Log = log;
    return s;
}

inline TSetting Edit(const char* page, const char* control, const char* key, int keyId, B block,
                     uint16_t command, TSettingArg payload, const char* log, TSettingArg logArg) {
    TSetting s{page, control, key, keyId, block, K::Edit};
    s.Command = command;
    s.PayloadArg = payload;
    s.Log = log;
    s.LogArgs[0] = logArg;
    return s;
}

}  // namespace kd::rows

namespace kd {

void AppendTriggerRows(std::vector<TSetting>& t);
void AppendCameraRows(std::vector<TSetting>& t);
void AppendProfileRows(std::vector<TSetting>& t);
void AppendAreaRows(std::vector<TSetting>& t);
void AppendOperationRows(std::vector<TSetting>& t);
void AppendOutputRows(std::vector<TSetting>& t);
void AppendCommonRows(std::vector<TSetting>& t);
void AppendStorageRows(std::vector<TSetting>& t);

}  // namespace kd
