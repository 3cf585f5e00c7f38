-- wrk script: the parameter exchange of many installations against a running
-- tollimer-central, one sealed report per request in turn.
--   build/native/central_bench --bodies /tmp/bodies.txt
--   BODIES=/tmp/bodies.txt wrk -t2 -c64 -d10s -s tests/bench/central_exchange.lua \
--     'http://127.0.0.1:18080/tollimer/update/?t=2'
local bodies = {}
for line in io.lines(os.getenv("BODIES") or "bodies.txt") do
  bodies[#bodies + 1] = line
end
local next = 0

request = function()
  next = next % #bodies + 1
  return wrk.format("POST", nil, {["Content-Type"] = "application/json"}, bodies[next])
end
