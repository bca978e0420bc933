#include "options/add_commad.h"

int AddCommad(const char* line, TServer* server) {
  TSettingVerdict verdict;
  return AddCommad(line, server, &verdict);
}

int AddCommad(const char* line, TServer* server, TSettingVerdict* verdict) {
  *verdict = ApplySetting(line, server->name, server->params);
  return verdict->fault == TSettingFault::kNone ? 1 : 0;
}
