' The session of parity.lua, call for call: both hosts must journal and save alike.
Set s = CreateObject("quellar2mrapi.t2mrapp")
WScript.Echo s.Connect("localhost", "tcp", 8400)
WScript.Echo s.Login("jane", "s3cret", "developer", "/db/alpha", "parity")
WScript.Echo s.CreateAGroup("parity")
WScript.Echo s.AddUserToGroup("joe", "parity")
WScript.Echo s.AddUserToArray(0, "kim", "pw1", "developer", "/db/alpha")
WScript.Echo s.CreateUsers(1)
WScript.Echo s.AddUserPreference("kim", "editor", "emacs", True)
WScript.Echo s.VANT_SetCRattribute("17", "crstatus", "assigned", "", "")
WScript.Echo Not IsEmpty(s.setDynamicAttrs("4713", "<attrs parity=""1""/>"))
WScript.Echo s.CreateRelation(0, "17", "4713", "associated_cv", "normal")
On Error Resume Next
r = s.setDynamicAttrs("4713", "")
WScript.Echo Err.Number, Err.Description
