' Connects to the emulated server, logs in and calls a few members (run with cscript).
Set s = CreateObject("quellar2mrapi.t2mrapp")
WScript.Echo "Connect: [" & s.Connect("localhost", "tcp", 8400) & "]"
WScript.Echo "Login: [" & s.Login("dev", "dev", "developer", "/db/main", "demo") & "]"
WScript.Echo "Host: " & s.VANT_GetHostname()
WScript.Echo "Escaped: " & s.encodeXML("a<b & c>")
On Error Resume Next
r = s.setDynamicAttrs("1001", "")
WScript.Echo "setDynamicAttrs: " & Err.Number & " " & Err.Description
