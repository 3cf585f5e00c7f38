# Initial cache of the end-to-end tests' pinned assistant (build/win-tls,
# made by scripts/build): the test build's values, but its service behind
# nginx on https at 127.0.0.1:18443, pinned to the key of service-cert.pem
# beside this file (look-alike-cert.pem is another key for the same address).
#   cmake -S . -B build/win-tls -C tests/data/tls/pinned-build.cmake ...
set(TOLLIMER_SERVICE_BASE "https://127.0.0.1:18443/tollimer/" CACHE STRING "")
set(TOLLIMER_SERVICE_PIN "8b249f8917a751e578c61d1310bebd5be44e9733c503b84d699d6037aa739729" CACHE STRING "")
# What a chain with an https service chooses: no notice datagram, which
# would carry the hit's entry in clear beside the https report.
set(TOLLIMER_HIT_NOTICE "off" CACHE STRING "")
