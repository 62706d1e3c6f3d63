' A cycle the engine cannot break (a dictionary holding itself) keeps a library object
' and a session alive after the script.
Set d = CreateObject("Scripting.Dictionary")
d.Add "self", d
d.Add "api", CreateObject("mrlib.api")
d.Add "session", CreateObject("quellar2mrapi.t2mrapp")
WScript.Echo "kept"
