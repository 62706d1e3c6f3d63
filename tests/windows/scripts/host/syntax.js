WScript.Echo("never");
var x = ;
