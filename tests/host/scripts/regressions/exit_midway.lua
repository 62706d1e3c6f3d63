-- os.exit ends the script, even from a coroutine inside a pcall; the host still writes
-- the journal and the state and checks for objects left alive.
local s = CreateObject("quellar2mrapi.t2mrapp")
s:Connect("localhost", "tcp", 8400)
local co = coroutine.wrap(function()
  pcall(function() os.exit(tonumber(arg[1]) or 7) end)
  print("not reached: after pcall")
end)
pcall(co)
print("not reached: after the coroutine")
