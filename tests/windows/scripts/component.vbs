' Every member of both classes, late-bound from VBScript, against the emulated server.
' Arguments: the fixture (a Windows path), a folder for scratch files.
' Prints one line per failed check and, last, "RESULT: N passed, M failed": the stock
' cscript reports no failure of its own, so the result line is the verdict.
Option Explicit
Dim passed, failed
passed = 0 : failed = 0

Sub Check(name, actual, expected)
    If actual = expected Then
        passed = passed + 1
    Else
        failed = failed + 1
        WScript.Echo "FAIL " & name & ": got [" & actual & "], expected [" & expected & "]"
    End If
End Sub

Sub CheckError(name, number, description)
    Check name & " number", Err.Number, number
    If description <> "" Then Check name & " description", Err.Description, description
    Err.Clear
End Sub

Dim fixture, scratch, emu, s, d, r, ok, fso, file, path, name, password
fixture = WScript.Arguments(0)
scratch = WScript.Arguments(1)
Set emu = CreateObject("mrlib.Emulator")
emu.LoadFixture fixture
Set s = CreateObject("quellar2mrapi.t2mrapp")

' A new session, before any connection.
Check "GoodConnection new", s.GoodConnection, False
Check "api new", s.api Is Nothing, True
Check "User new", s.User Is Nothing, True
Check "Login unconnected", s.Login("jane", "s3cret", "developer", "/db/alpha", "x"), _
      "Connection Not Good - Login Not Attempted"
Check "CreateAGroup unconnected", s.CreateAGroup("g"), False
Check "CreateRelation unconnected", s.CreateRelation(0, "17", "4711", "associated_cv", "normal"), _
      "CreateRelation failed  91 Object variable or With block variable not set"
Check "VANT_SetCRattribute unconnected", s.VANT_SetCRattribute("17", "problem_synopsis", "x", "", ""), _
      "VANT_SetCRattribute:  91 Object variable or With block variable not set"

' Connecting and logging in.
Check "Connect refused", s.Connect("nowhere", "tcp", 1), "Connect Error: status =  0"
Check "Connect", s.Connect("localhost", "tcp", 8400), ""
Check "GoodConnection", s.GoodConnection, True
Check "api set", s.api Is Nothing, False
Check "Login unknown", s.Login("jane", "wrong", "developer", "/db/alpha", "suite"), _
      "Unable to login jane as developer into database /db/alpha"
Check "Login", s.Login("jane", "s3cret", "developer", "/db/alpha", "suite"), ""
Check "User set", s.User Is Nothing, False
Check "Token", s.User.LoginToken <> "", True
Check "Admin without a window", s.Login("jane", "s3cret", "Admin", "/db/alpha", "suite"), "Login Cancelled."

' Groups.
Check "CreateAGroup", s.CreateAGroup("builders"), True
Check "AddUserToGroup", s.AddUserToGroup("joe", "builders"), True
Check "DeleteAGroup", s.DeleteAGroup("builders"), True
Check "DeleteAGroup unknown", s.DeleteAGroup("builders"), False

' Staging and batch commits.
Check "AddUserToArray", s.AddUserToArray(0, "kim", "pw1", "developer", "/db/alpha"), ""
Check "AddUserToArray grows", s.AddUserToArray(501, "lee", "pw2", "developer", "/db/alpha"), ""
Check "AddUserToArray -1", s.AddUserToArray(-1, "x", "y", "z", "w"), "AddUserToArray Error:  9 Subscript out of range"
Check "CreateUsers", s.CreateUsers(1) <> "", True
Check "AddUserToNMXArray", s.AddUserToNMXArray(0, "kim", "Kim K"), ""
Check "SetMerivexUsernames", s.SetMerivexUsernames(1) <> "", True
Check "AddUserToRoleArray", s.AddUserToRoleArray(0, "kim", "developer Admin", "/db/alpha"), ""
Check "AddUserRoles", s.AddUserRoles(1) <> "", True
Check "AddUserPreference", Left(s.AddUserPreference("kim", "editor", "emacs", True), 22) <> "AddUserPreferenceError", True
On Error Resume Next
r = s.AddUserToNMXArray(32767, "a", "b")
r = s.AddUserToNMXArray(32767, "a", "b")
Dim i
For i = 1 To 110
    r = s.AddUserToRoleArray(32700, "a", "b", "c")
    If Err.Number <> 0 Then Exit For
Next
CheckError "staging past the last bound", 6, "Overflow"
On Error GoTo 0

' Change-request data.
Check "GetNewAttrs", s.GetNewAttrs("17", "/db/alpha"), "<attrs/>"
Check "GetDynamicAttrs", s.GetDynamicAttrs("4712"), "<attrs second=""yes""/>"
Check "VANT_GetHostname", s.VANT_GetHostname(), "cm1.example.test"
Check "setDynamicAttrs", IsEmpty(s.setDynamicAttrs("4713", "<attrs new=""1""/>")), False
Check "GetDynamicAttrs after set", s.GetDynamicAttrs("4713"), "<attrs new=""1""/>"
On Error Resume Next
r = s.setDynamicAttrs("4713", "")
CheckError "setDynamicAttrs empty", 9, "Subscript out of range"
On Error GoTo 0
Check "createRCObject", IsEmpty(s.createRCObject("17", "associated_cv", "<rc/>", "none.txt")), False
Check "encodeXML", s.encodeXML("a<b & c>d ""q"" 'a'"), "a&lt;b &amp; c&gt;d ""q"" 'a'"
Check "VANT_SetCRattribute", s.VANT_SetCRattribute("17", "problem_synopsis", "Crash & burn", "", ""), ""
Check "VANT_SetCRattribute transition", s.VANT_SetCRattribute("17", "crstatus", "assigned", "", ""), ""
Check "VANT_SetCRattribute unknown CR", Left(s.VANT_SetCRattribute("99", "crstatus", "x", "", ""), 21), _
      "VANT_SetCRattribute: "
Set fso = CreateObject("Scripting.FileSystemObject")
path = scratch & "\value.txt"
Set file = fso.CreateTextFile(path, True)
file.Write "line one" & vbLf & "line two"
file.Close
Check "VANT_SetCRattributeByFile", s.VANT_SetCRattributeByFile("18", "problem_synopsis", path, "", path), ""
On Error Resume Next
r = s.VANT_SetCRattributeByFile("18", "problem_synopsis", scratch & "\missing.txt", "", path)
CheckError "VANT_SetCRattributeByFile missing", 53, "File not found"
On Error GoTo 0
fso.DeleteFile path
Check "CreateRelation", s.CreateRelation(0, "17", "4713", "associated_cv", "normal") <> "", True
Check "CreateRelation refused", s.CreateRelation(0, "17", "99", "associated_cv", "normal") <> "", True

' Properties written directly, and the typed value record.
s.GoodConnection = False
Check "GoodConnection put", s.GoodConnection, False
Set s.api = Nothing
Check "api put", s.api Is Nothing, True
Set d = CreateObject("quellar2mrapi.t2DataClass")
Check "ValueType new", d.ValueType, ""
Check "StringValueSize new", d.StringValueSize, 0
Check "BooleanValue new", d.BooleanValue, False
d.IntegerValue = 12
Check "IntegerValue", d.IntegerValue, 12
Check "ValueType after IntegerValue", d.ValueType, ""
d.StringValue = "text"
Check "StringValue", d.StringValue, "text"
Check "ValueType after StringValue", d.ValueType, "String"
d.StringValueSize = -3
Check "StringValueSize", d.StringValueSize, -3
Check "ValueType after StringValueSize", d.ValueType, "Integer"
d.BooleanValue = True
Check "BooleanValue", d.BooleanValue, True
Check "ValueType after BooleanValue", d.ValueType, "Boolean"
d.ErrMsg = "oops"
Check "ErrMsg", d.ErrMsg, "oops"
d.ValueType = "anything"
Check "ValueType put", d.ValueType, "anything"
On Error Resume Next
d.IntegerValue = 40000
CheckError "IntegerValue overflow", 6, ""
On Error GoTo 0

Set d = Nothing
Set s = Nothing
Set file = Nothing
Set fso = Nothing
Check "library objects left", emu.LiveObjects(""), 0
WScript.Echo "RESULT: " & passed & " passed, " & failed & " failed"
