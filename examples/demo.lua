-- A tour of the component against the emulated change server.
--
--   build/bin/q2mrhost examples/demo.lua                       (the built-in default server)
--   build/bin/q2mrhost --server examples/demo_server.json examples/demo.lua
--
-- Every call goes late-bound by name, as any automation script's would. Methods that trap
-- their failures return them as texts; the few that do not raise a Lua error, which
-- pcall catches.

local function show(what, result)
  print(string.format("%-34s %s", what, tostring(result)))
end

-- A session: one connection, one logged-in user, three staging tables.
local s = CreateObject("quellar2mrapi.t2mrapp")
show("GoodConnection before Connect", s.GoodConnection)

-- Connect answers "" on success, otherwise an error text.
show("Connect to a host with no server", s:Connect("nowhere", "tcp", 8400))
show("Connect", s:Connect("localhost", "tcp", 8400))

-- Login: a wrong password gives the "Unable to login" text; a good one keeps the user.
show("Login with a wrong password", s:Login("admin", "wrong", "developer", "/db/main", "demo"))
show("Login", s:Login("admin", "admin", "developer", "/db/main", "demo"))
show("Host name", s:VANT_GetHostname())

-- Stage two users row by row, then create them on the server in one call.
show("AddUserToArray row 0", s:AddUserToArray(0, "kim", "kim-pw", "developer", "/db/main"))
show("AddUserToArray row 1", s:AddUserToArray(1, "lee", "lee-pw", "developer", "/db/main"))
show("CreateUsers", s:CreateUsers(2))

-- Their names in the requirements tool, and their roles.
s:AddUserToNMXArray(0, "kim", "Kim Kowalski")
s:AddUserToNMXArray(1, "lee", "Lee Larsen")
local count = ByRef(2)          -- the library may change the count: it reports the rows it applied
show("SetMerivexUsernames", s:SetMerivexUsernames(count))
show("  rows applied", count.value)
s:AddUserToRoleArray(0, "kim", "developer reviewer", "/db/main")
show("AddUserRoles", s:AddUserRoles(1))
show("AddUserPreference", s:AddUserPreference("kim", "editor", "vi", true))

-- Groups answer True or False.
show("CreateAGroup reviewers", s:CreateAGroup("reviewers"))
show("AddUserToGroup kim", s:AddUserToGroup("kim", "reviewers"))
show("AddUserToGroup nobody", s:AddUserToGroup("nobody", "reviewers"))

-- CR attributes: "" on success; a status change goes as a transition.
show("Set synopsis of CR 1", s:VANT_SetCRattribute("1", "problem_synopsis", "Window <main> does not open & hangs", "", ""))
show("Transition CR 1 to assigned", s:VANT_SetCRattribute("1", "crstatus", "assigned", "", ""))
show("Transition CR 1 to closed", s:VANT_SetCRattribute("1", "crstatus", "closed", "", ""))
show("encodeXML", s:encodeXML("a < b & c > d"))

-- Dynamic attributes: written, then read back.
show("setDynamicAttrs 1003", s:setDynamicAttrs("1003", "<attrs phase=\"demo\"/>"))
show("GetDynamicAttrs 1003", s:GetDynamicAttrs("1003"))
show("GetNewAttrs of CR 1", s:GetNewAttrs("1", "/db/main"))

-- An RC object made from XML data, then related to CR 2.
local rc = s:createRCObject("1", "associated_cv", "<rc title=\"demo\"/>", "demo.xml")
show("createRCObject", rc)
show("CreateRelation", s:CreateRelation(0, "2", rc or "", "associated_cv", "normal"))
show("CreateRelation to nothing", s:CreateRelation(0, "2", "no-such-object", "associated_cv", "normal"))

-- setDynamicAttrs traps nothing: empty values fail the call itself with failure 9.
local ok, err = pcall(function() return s:setDynamicAttrs("1003", "") end)
show("setDynamicAttrs with no values", ok and "succeeded" or tostring(err))
