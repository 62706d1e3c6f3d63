-- Logging in as "Admin": the component asks the person at the terminal for the user
-- name and password in its login dialog, instead of taking them from the script.
--
--   build/bin/q2mrhost examples/admin_login.lua
--
-- Type the password (the user name is filled in), press Enter for OK or Escape to cancel.

local session = CreateObject("quellar2mrapi.t2mrapp")
print("Connect: [" .. session:Connect("localhost", "tcp", 8400) .. "]")

-- name and password are passed by reference: after OK they hold what was typed.
local name = ByRef("admin")
local password = ByRef("")
local result = session:Login(name, password, "Admin", arg[1] or "/db/main", "admin-example")
if result == "" then
  print("Logged in as " .. name.value .. "; token " .. session.User.LoginToken)
else
  -- "Login Cancelled." when the dialog was cancelled or closed.
  print("Login: " .. result)
end
