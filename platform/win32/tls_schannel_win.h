// TLS over another transport on Win32, by Schannel (tls_schannel_win.cpp):
// what http_win.cpp gives https:// URLs, over its Winsock transport.
#pragma once

#include <memory>

#include "platform/http_transport.h"

namespace plat {

std::unique_ptr<HttpTransport> NewSchannelTransport(std::unique_ptr<HttpTransport> tcp);

}  // namespace plat
