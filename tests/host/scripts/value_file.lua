-- A value file that is no regular file (a FIFO without writer) fails at once, clearly.
local s = CreateObject("quellar2mrapi.t2mrapp")
assert(s:Connect("localhost", "tcp", 8400) == "")
assert(s:Login("jane", "s3cret", "developer", "/db/alpha", "") == "")
local ok, e = pcall(function() return s:VANT_SetCRattributeByFile("17", "problem_synopsis", arg[1], "", arg[1]) end)
print("fifo: " .. tostring(ok) .. " " .. e.number .. ": " .. e.description)
