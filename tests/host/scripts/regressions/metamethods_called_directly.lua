-- The object metatable is protected, and its metamethods, reached through the debug
-- library, check what they are given: a value that is no object, or a released one.
local s = CreateObject("quellar2mrapi.t2mrapp")
print("protected=" .. tostring(getmetatable(s)))
local mt = debug.getmetatable(s)
local function try(name, f) print(name .. "=" .. tostring((pcall(f)))) end
for _, bad in ipairs({5, "text", {}, Null, Nothing, io.stdout}) do
  try("index", function() return mt.__index(bad, "GoodConnection") end)
  try("newindex", function() mt.__newindex(bad, "GoodConnection", true) end)
  try("tostring", function() return mt.__tostring(bad) end)
  mt.__gc(bad)
end
-- A userdata of another kind given the object metatable is no object either.
local f = io.tmpfile()
debug.setmetatable(f, mt)
try("foreign", function() return f.GoodConnection end)
try("foreign arg", function() return s:Connect(f, "tcp", 1) end)
mt.__gc(s)   -- released while the script still holds it
local ok, e = pcall(function() return s.GoodConnection end)
print("released=" .. tostring(ok) .. " " .. tostring(e))
try("released method", function() return s:Connect("localhost", "tcp", 8400) end)
try("released tostring", function() return tostring(s) end)
try("released arg", function() local t = CreateObject("quellar2mrapi.t2DataClass"); t.Value = s end)
