// An uncaught failure ends the script with its place and number.
WScript.Echo("before");
var s = WScript.CreateObject("quellar2mrapi.t2mrapp");
s.setDynamicAttrs("4713", "");
WScript.Echo("after");
