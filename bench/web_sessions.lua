-- wrk script of bench/web_http_bench.sh: every wrk thread is its own signed-in user, with the
-- session cookie taken from TAMSEL_BENCH_COOKIES (comma-separated tokens).
local cookies = {}
for token in string.gmatch(os.getenv("TAMSEL_BENCH_COOKIES") or "", "[^,]+") do
  table.insert(cookies, token)
end
local threads = 0

function setup(thread)
  threads = threads + 1
  thread:set("token", cookies[(threads - 1) % #cookies + 1])
end

function init(args)
  wrk.headers["Cookie"] = "tamsel_session=" .. token
end
