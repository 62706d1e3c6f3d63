' The change-server library out of reach (tests/host/scripts/unreachable.lua line by line,
' run without --server): the staging methods say why, Connect's failure 91 stands (the
' component notes why on standard error, once), and CreateObject says why, caught and uncaught.
Set s = CreateObject("quellar2mrapi.t2mrapp")
WScript.Echo "Connect: [" & s.Connect("localhost", "tcp", 8400) & "]"
WScript.Echo "Connect: [" & s.Connect("localhost", "tcp", 8400) & "]"
WScript.Echo "AddUserToArray: [" & s.AddUserToArray(0, "kim", "pw", "developer", "/db/alpha") & "]"
WScript.Echo "AddUserToNMXArray: [" & s.AddUserToNMXArray(0, "kim", "Kim") & "]"
WScript.Echo "AddUserToRoleArray: [" & s.AddUserToRoleArray(0, "kim", "developer", "/db/alpha") & "]"
On Error Resume Next: Set a = WScript.CreateObject("mrlib.api"): WScript.Echo "CreateObject mrlib.api: " & Err.Number & " " & Err.Description: On Error GoTo 0
Set u = CreateObject("mrlib.User")
WScript.Echo "not reached"
