#include "core/server.h"

TServer::~TServer() {
  std::unique_ptr<TServer> rest = std::move(next);
  while (rest) rest = std::move(rest->next);
}
