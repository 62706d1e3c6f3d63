// The component from JScript through the Windows host: a session against the emulated
// server, failures caught with their numbers, the typed value record.
// Prints one line per failed check and, last, "RESULT: N passed, M failed".
var passed = 0, failed = 0;
function check(name, actual, expected) {
    if (actual === expected) {
        passed++;
    } else {
        failed++;
        WScript.Echo("FAIL " + name + ": got [" + actual + "], expected [" + expected + "]");
    }
}
// The failure a call raised: its number, and its description after a blank.
function failure(call) {
    try {
        call();
    } catch (e) {
        return e.number + " " + e.description;
    }
    return "no failure";
}

var s = WScript.CreateObject("quellar2mrapi.t2mrapp");
check("Connect", s.Connect("localhost", "tcp", 8400), "");
check("GoodConnection", s.GoodConnection, true);
check("Login", s.Login("jane", "s3cret", "developer", "/db/alpha", "jscript"), "");
check("Token", s.User.LoginToken !== "", true);
check("CreateAGroup", s.CreateAGroup("scripters"), true);
check("AddUserToGroup", s.AddUserToGroup("joe", "scripters"), true);
check("AddUserToArray", s.AddUserToArray(0, "kim", "pw1", "developer", "/db/alpha"), "");
check("CreateUsers", s.CreateUsers(1) !== "", true);
check("VANT_GetHostname", s.VANT_GetHostname(), "cm1.example.test");
check("GetDynamicAttrs", s.GetDynamicAttrs("4712"), "<attrs second=\"yes\"/>");
check("encodeXML", s.encodeXML("a<b & c>"), "a&lt;b &amp; c&gt;");
check("VANT_SetCRattribute", s.VANT_SetCRattribute("17", "crstatus", "assigned", "", ""), "");
check("setDynamicAttrs empty", failure(function () { s.setDynamicAttrs("4713", ""); }),
      (0x800A0009 | 0) + " Subscript out of range");
check("AddUserToArray -1", s.AddUserToArray(-1, "x", "y", "z", "w"), "AddUserToArray Error:  9 Subscript out of range");

var d = new ActiveXObject("quellar2mrapi.t2DataClass");
d.StringValue = "text";
check("ValueType", d.ValueType, "String");
// A value the declared type cannot hold fails in the dispatcher, with its code only.
check("IntegerValue overflow", failure(function () { d.IntegerValue = 40000; }).split(" ")[0], String(0x8002000A | 0));

var emu = WScript.CreateObject("mrlib.Emulator");
s = null;
d = null;
CollectGarbage();
check("library objects left", emu.LiveObjects(""), 0);
WScript.Echo("RESULT: " + passed + " passed, " + failed + " failed");
