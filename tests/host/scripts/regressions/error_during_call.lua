-- A Lua error in the middle of a call releases what the call held: a ByRef box's
-- metamethods raising while the arguments are converted (index) or written back
-- (newindex), a coroutine yielding there (yield), an error value whose __tostring raises
-- too (tostring, uncaught: the host reports the script's failure, not a leak).
local s = CreateObject("quellar2mrapi.t2mrapp")
assert(s:Connect("localhost", "tcp", 8400) == "")
local api = s.api
local box = ByRef(nil)
local mt = debug.getmetatable(box)
local mode = arg[1]
if mode == "index" then
  mt.__index = function() error("raised while converting") end
elseif mode == "newindex" then
  mt.__index = function() return 1 end
  mt.__newindex = function() error("raised while writing back") end
elseif mode == "yield" then
  mt.__index = function() coroutine.yield() end
elseif mode == "tostring" then
  mt.__index = function() error(setmetatable({}, {__tostring = function() error("and again") end})) end
end
local function call() return s:CreateAGroup(api, "a text", box) end
if mode == "yield" then
  print(coroutine.resume(coroutine.create(call)))
elseif mode == "tostring" then
  call()
else
  for _ = 1, 3 do print(pcall(call)) end
end
print("end")
