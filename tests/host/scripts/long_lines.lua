-- Journal lines of 20 000 letters: several hosts append them to one journal at once.
local api = CreateObject("mrlib.api")
local protocol = string.rep(arg[1], 20000)
for _ = 1, 100 do api:OpenConnection(protocol, "localhost", 8400) end
