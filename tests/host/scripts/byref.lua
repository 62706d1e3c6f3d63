-- The library's change to the count reaches the script's variable.
local s = CreateObject("quellar2mrapi.t2mrapp")
assert(s:Connect("localhost", "tcp", 8400) == "")
assert(s:Login("jane", "s3cret", "developer", "/db/alpha", "") == "")
assert(s:AddUserToNMXArray(0, "jane", "Jane D.") == "")
local count = ByRef(2)   -- row 1 was never staged: the library applies nothing
print("result=" .. s:SetMerivexUsernames(count))
print("count=" .. tostring(count.value))
local good = ByRef(1)
print("result1=" .. s:SetMerivexUsernames(good))
print("count1=" .. tostring(good.value))
