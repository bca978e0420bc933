#include "check/permissions.h"

#include <sys/stat.h>
#include <unistd.h>

TFileRisks FileRisks(mode_t mode, uid_t owner, uid_t user) {
  TFileRisks risks;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return risks;
  risks.writable_by_others = (mode & (S_IWGRP | S_IWOTH)) != 0;
  risks.foreign_owner = owner != user && owner != 0;
  return risks;
}

void WarnWritableByOthers(std::string& out) {
  out += "writable by others: anyone who can write it can run commands as you";
}

void WarnForeignOwner(std::string& out, uid_t owner) {
  out += "owned by another user (uid ";
  out += std::to_string(owner);
  out += "): that user can run commands as you";
}

std::vector<std::string> FileWarnings(const char* path) {
  std::vector<std::string> warnings;
  struct stat status = {};
  if (stat(path, &status) != 0) return warnings;
  const TFileRisks risks = FileRisks(status.st_mode, status.st_uid, geteuid());
  if (risks.writable_by_others) {
    warnings.emplace_back();
    WarnWritableByOthers(warnings.back());
  }
  if (risks.foreign_owner) {
    warnings.emplace_back();
    WarnForeignOwner(warnings.back(), status.st_uid);
  }
  return warnings;
}
