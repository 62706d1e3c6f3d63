-- Failures that the component does not trap reach the script with their numbers.
local s = CreateObject("quellar2mrapi.t2mrapp")
assert(s:Connect("localhost", "tcp", 8400) == "")
assert(s:Login("jane", "s3cret", "developer", "/db/alpha", "") == "")
local ok, e = pcall(function() return s:setDynamicAttrs("4711", "") end)
print("empty values: " .. tostring(ok) .. " " .. e.number .. " " .. e.description)
ok, e = pcall(function() return s:VANT_SetCRattributeByFile("17", "a", "/no/such/file", "", "/no/such/file") end)
print("missing file: " .. tostring(ok) .. " " .. e.number)
ok, e = pcall(function() return s:Connect("localhost", "tcp", 70000) end)
print("port overflow: " .. tostring(ok) .. " " .. e.number)
ok, e = pcall(function() return s:NoSuchMethod() end)
print("unknown: " .. tostring(ok) .. " " .. e.number)
print("tostring: " .. tostring(e))
-- Names in any case, the second time as the first; a name of one interface stays unknown to another.
local v = CreateObject("quellar2mrapi.t2DataClass")
for _ = 1, 2 do
  v.stringvalue = "a"
  v.StringValue = v.STRINGVALUE .. "b"
end
print("any case: " .. v.StringValue)
for _ = 1, 2 do
  ok, e = pcall(function() return s.StringValue end)
  print("other interface: " .. tostring(ok) .. " " .. e.number)
end
