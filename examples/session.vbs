' A session against the standard fixture, ending in an uncaught failure (run with
' scripts/wine-host.sh --server tests/fixtures/standard.json examples/session.vbs ARG...).
Set s = CreateObject("quellar2mrapi.t2mrapp")
WScript.Echo "Connect: [" & s.Connect("localhost", "tcp", 8400) & "]"
WScript.Echo "Login: [" & s.Login("jane", "s3cret", "developer", "/db/alpha", "demo") & "]"
WScript.Echo "Host: " & s.VANT_GetHostname(), "Arguments:", WScript.Arguments.Count
r = s.setDynamicAttrs("4711", "")
WScript.Echo "not reached"
