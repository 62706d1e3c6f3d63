' The "Admin" login, typed into the dialog by whoever sits at the display. Run by the
' Windows host with --server; under the stock cscript, give the fixture as the argument.
If WScript.Arguments.Count > 0 Then CreateObject("mrlib.Emulator").LoadFixture WScript.Arguments(0)
Set s = CreateObject("quellar2mrapi.t2mrapp")
WScript.Echo "Connect=[" & s.Connect("localhost", "tcp", 8400) & "]"
name = "jane"
password = ""
result = s.Login(name, password, "Admin", "/db/alpha", "dialog")
WScript.Echo "Login=[" & result & "] name=[" & name & "] password=[" & password & "]"
' A second login, whose dialog is closed with its close box.
name = "joe"
password = ""
result = s.Login(name, password, "Admin", "/db/alpha", "dialog")
WScript.Echo "Closed=[" & result & "] name=[" & name & "] password=[" & password & "]"
