// The HTTP library's routing and reply writing, fed with whole requests that
// a GatedListener received: the library never reads from a client itself, so
// none of its workers ever waits on a slow one.
#pragma once
#include <httplib.h>

#include "central/http/gated_listener.h"

class RequestServer : public httplib::Server {
 public:
  RequestServer();
  ~RequestServer() override;

  // Routes `request` to the handlers set on this server and writes the reply
  // (one request per connection: the reply says "Connection: close"),
  // within the limits' time for a reply's write.
  void Serve(ReceivedRequest& request, const ListenerLimits& limits);
};
