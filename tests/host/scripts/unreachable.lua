-- The change-server library out of reach (tests/windows/scripts/host/unreachable.vbs line by
-- line): the staging methods say why, Connect's failure 91 stands (the component notes why
-- on standard error, once), and CreateObject says why, caught and uncaught.
local s = CreateObject("quellar2mrapi.t2mrapp")
print("Connect: [" .. s:Connect("localhost", "tcp", 8400) .. "]")
print("Connect: [" .. s:Connect("localhost", "tcp", 8400) .. "]")
print("AddUserToArray: [" .. s:AddUserToArray(0, "kim", "pw", "developer", "/db/alpha") .. "]")
print("AddUserToNMXArray: [" .. s:AddUserToNMXArray(0, "kim", "Kim") .. "]")
print("AddUserToRoleArray: [" .. s:AddUserToRoleArray(0, "kim", "developer", "/db/alpha") .. "]")
local _, e = pcall(CreateObject, "mrlib.api"); print("CreateObject mrlib.api: " .. e.number .. " " .. e.description)
local u = CreateObject("mrlib.User")
print("not reached")
