#pragma once

namespace shared {

// Every request of the process goes through the proxy the environment names:
// http_proxy, https_proxy, all_proxy (for both) and no_proxy, as players and servers
// behind a proxy set them. Call once, before the first request.
void useSystemProxies();

} // namespace shared
