#include "options/add_commad.h"

#include "options/setting_rules.h"

int AddCommad(const char* line, TServer* server) {
  return ApplySetting(line, server->name, server->params).fault == TSettingFault::kNone ? 1 : 0;
}
