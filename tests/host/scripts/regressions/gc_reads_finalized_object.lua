-- A finalizer that reads an object which Lua finalized before it, at the end of the
-- script: the object reads as released (a clear error in the finalizer), never a crash.
local s = CreateObject("quellar2mrapi.t2mrapp")
local holder = setmetatable({}, {__gc = function()
  local ok, e = pcall(function() return s.GoodConnection end)
  io.stderr:write("finalizer: ", tostring(ok), " ", tostring(e), "\n")
end})
-- The object box was made after the holder: Lua finalizes it first.
s = CreateObject("quellar2mrapi.t2mrapp")
print("done")
