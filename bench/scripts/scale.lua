-- At scale through the host: 32,600 users staged and committed, then dynamic attributes
-- of 16 MiB (8 Mi characters) set and read back.
local s = CreateObject("quellar2mrapi.t2mrapp")
assert(s:Connect("localhost", "tcp", 8400) == "")
assert(s:Login("jane", "s3cret", "developer", "/db/alpha", "scale") == "")
local rows = 32600
for i = 0, rows - 1 do
  assert(s:AddUserToArray(i, "user" .. i, "pw", "developer", "/db/alpha") == "")
end
assert(s:CreateUsers(rows) ~= "")
if arg[1] == "users-only" then return end  -- the run's memory before the text, for comparison
-- 8 Mi characters, 16 MiB as the component and the library hold them (UTF-16), with the
-- characters that the journal escapes.
local text = string.rep('<attr name="a&amp;b" value=""/>\n', 8 * 1024 * 1024 // 32)
assert(#text == 8 * 1024 * 1024)
s:setDynamicAttrs("4713", text)
local back = s:GetDynamicAttrs("4713")
assert(back == text, "the attributes came back changed")
print(string.format("staged and committed %d users; %d characters of attributes set and read back", rows, #text))
