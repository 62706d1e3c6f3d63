' An uncaught failure ends the script: ARG 0 names whose (the component's or the library's).
WScript.Echo "before"
If WScript.Arguments(0) = "library" Then CreateObject("mrlib.Emulator").LoadFixture "no-such-fixture.json"
r = CreateObject("quellar2mrapi.t2mrapp").setDynamicAttrs("4713", "")
WScript.Echo "after"
